#!/usr/bin/env bash
# Takes pictures of the install question for the documentation, once in
# English and once for an Arabic user, from a built tree under Wine.
#   scripts/screenshot-prompt.sh [BUILD_DIR] [OUTPUT_DIR]
# BUILD_DIR defaults to build/mingw, OUTPUT_DIR to docs/. Needs Wine, Xvfb,
# ImageMagick (import) and the locales package (ar_SA.UTF-8 is
# created when missing). Uses a private Wine prefix and display, removed at
# the end; the test session of the build tree is left alone.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=$(cd "${1:-$root/build/mingw}" && pwd)
output=${2:-$root/docs}
mkdir -p "$output"
output=$(cd "$output" && pwd)

for program in Launcher.exe ZelqaAntiCheat.Installer.exe msgbox_answerer.exe; do
  [ -f "$build/$program" ] || { echo "$build/$program is missing: build first" >&2; exit 1; }
done
for tool in wine Xvfb import; do
  command -v "$tool" >/dev/null || { echo "$tool is needed" >&2; exit 1; }
done

# The session script sets up a prefix, a display and the Arabic locale in
# whatever folder it is given; a scratch folder keeps them private.
session=$(mktemp -d "${TMPDIR:-/tmp}/zelqa-screenshot.XXXXXX")
cleanup() {
  "$root/tests/wine-session.sh" cleanup "$session" >/dev/null 2>&1 || true
  rm -rf "$session"
}
trap cleanup EXIT
"$root/tests/wine-session.sh" setup "$session" >/dev/null
export WINEPREFIX=$session/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
DISPLAY=":$(cat "$session/wine-session/display")"
export DISPLAY

# Wine's own dialog fonts have no Arabic letters: a system font that has
# stands in for them.
for font in Tahoma "MS Shell Dlg" "MS Shell Dlg 2" "MS Sans Serif" "Microsoft Sans Serif"; do
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$font" /d "DejaVu Sans" /f \
    </dev/null >/dev/null 2>&1
done

demo=$session/demo
mkdir -p "$demo"
cp "$build/Launcher.exe" "$build/ZelqaAntiCheat.Installer.exe" "$build/msgbox_answerer.exe" "$demo/"
caption="Zelqa anticheat"

# shoot NAME LOCALE: shows the question under LOCALE, photographs the box
# with its frame and answers No.
shoot() {
  local name=$1 locale=$2 launcher geometry
  (cd "$demo" && LANG=$locale LC_ALL=$locale wine Launcher.exe install -title Demo -prompt \
    </dev/null >/dev/null 2>&1) &
  launcher=$!
  geometry=$(cd "$demo" && wine msgbox_answerer.exe "$caption" none 60000 </dev/null 2>/dev/null |
    tr -d '\r' | sed -n 's/^rect: //p')
  if [ -z "$geometry" ]; then
    echo "the question did not show ($name)" >&2
    kill "$launcher" 2>/dev/null || true
    exit 1
  fi
  read -r left top width height <<<"$geometry"
  # Let the box finish painting before it is photographed.
  sleep 1
  import -window root -crop "${width}x${height}+${left}+${top}" +repage \
    "$output/install-question-$name.png"
  (cd "$demo" && wine msgbox_answerer.exe "$caption" no 10000 </dev/null >/dev/null 2>&1)
  wait "$launcher" || true
  echo "$output/install-question-$name.png (${width}x${height})"
}

shoot en C.UTF-8
shoot ar ar_SA.UTF-8
