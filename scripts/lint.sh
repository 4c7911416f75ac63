#!/usr/bin/env bash
# Checks the sources without running them; each check fails on any finding.
#   scripts/lint.sh layers           includes under src/ point only down the layers
#   scripts/lint.sh format           clang-format-19 finds nothing to change
#   scripts/lint.sh tidy BUILD_DIR   clang-tidy-19 (.clang-tidy) over src/, against the
#                                    MinGW target, with BUILD_DIR's compile_commands.json
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd -P)
cd "$root"

# launcher -> legacy, game, installer, ui -> log -> common: a module includes
# its own headers and those of lower layers, never a neighbour's or a higher one.
layer() {
  case $1 in
    common) echo 0 ;;
    log) echo 1 ;;
    ui | installer | game | legacy) echo 2 ;;
    launcher) echo 3 ;;
    *) echo "" ;;
  esac
}

check_layers() {
  local status=0 file module included line
  while IFS= read -r file; do
    module=$(basename "$(dirname "$file")")
    if [ -z "$(layer "$module")" ]; then
      echo "$file: src/$module is no known layer (add it to scripts/lint.sh)"
      status=1
      continue
    fi
    while IFS= read -r line; do
      included=${line#*\"}
      included=${included%%/*}
      [ "$included" = "$module" ] && continue
      if [ -z "$(layer "$included")" ] || [ "$(layer "$included")" -ge "$(layer "$module")" ]; then
        echo "$file: $line reaches from $module to $included, which is not below it"
        status=1
      fi
    done < <(grep -E '^#include "[a-z_]+/' "$file" || true)
  done < <(find src -mindepth 2 -name '*.h' -o -mindepth 2 -name '*.cpp' | sort)
  [ $status -eq 0 ] && echo "layers: every include points down"
  return $status
}

# The C++ sources under the given folders: those git knows of (tracked or
# not ignored) in a work tree of this project, every file otherwise, as in a
# source tarball or a checkout made without git; build trees are skipped.
sources() {
  local top
  if top=$(git rev-parse --show-toplevel 2>/dev/null) && [ "$top" = "$root" ]; then
    local patterns=() dir
    for dir in "$@"; do patterns+=("$dir/*.cpp" "$dir/*.h"); done
    git ls-files --cached --others --exclude-standard -- "${patterns[@]}"
  else
    find "$@" \( -name 'build*' -o -name 'dist' -o -name '.*' \) -prune -o \
      -type f \( -name '*.cpp' -o -name '*.h' \) -print | sort
  fi
}

check_format() {
  command -v clang-format-19 >/dev/null || { echo "clang-format-19 is needed" >&2; return 2; }
  local files
  files=$(sources src tests bench)
  # An empty list would pass without checking anything.
  [ -n "$files" ] || { echo "format: no sources found under $root" >&2; return 2; }
  xargs -d '\n' clang-format-19 --dry-run --Werror <<<"$files"
  echo "format: $(wc -l <<<"$files") files clean"
}

check_tidy() {
  local build=${1:?usage: scripts/lint.sh tidy BUILD_DIR}
  command -v clang-tidy-19 >/dev/null || { echo "clang-tidy-19 is needed" >&2; return 2; }
  [ -f "$build/compile_commands.json" ] || {
    echo "$build/compile_commands.json is missing: configure with a preset first" >&2
    return 2
  }
  # Debian's clang parses the MinGW build's commands once told the target.
  # Its counts of suppressed system-header warnings are left out.
  local files
  files=$(sources src | grep '\.cpp$' || true)
  [ -n "$files" ] || { echo "tidy: no sources found under $root/src" >&2; return 2; }
  xargs -d '\n' -P 2 -n 1 clang-tidy-19 -p "$build" --quiet \
    --extra-arg=--target=x86_64-w64-mingw32 <<<"$files" 2> >(grep -v 'warnings\? generated\.$' >&2)
  echo "tidy: $(wc -l <<<"$files") files, no findings"
}

case ${1:-} in
  layers) check_layers ;;
  format) check_format ;;
  tidy) check_tidy "${2:-}" ;;
  *)
    echo "usage: $0 layers | format | tidy BUILD_DIR" >&2
    exit 2
    ;;
esac
