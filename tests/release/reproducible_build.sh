#!/usr/bin/env bash
# Builds the release twice, from two copies of the source tree in folders of
# different absolute paths, with the legacy setup program at two different
# paths, and fails on any byte that differs between the two Launcher.exe
# files. Also checks what the release folder holds: the launcher and its
# checksums, nothing else, with no symbols or debug sections in the image.
#   reproducible_build.sh SOURCE_DIR WORK_DIR LEGACY_SETUP_EXE OBJDUMP
set -euo pipefail
source_dir=$1 work=$2 legacy_setup=$3 objdump=$4
trap 'echo "stopped at line $LINENO: $BASH_COMMAND" >&2' ERR

rm -rf "$work"
first=$work/first
second=$work/second/a-longer-folder-name
mkdir -p "$first/source" "$second/source"
# One snapshot for both builds, so an edit to the tree during the run can't
# pass for a difference between builds.
tar -C "$source_dir" --exclude=./build --exclude=./dist --exclude=./.git -cf "$work/source.tar" .
tar -C "$first/source" -xf "$work/source.tar"
tar -C "$second/source" -xf "$work/source.tar"
cp "$legacy_setup" "$first/legacy.exe"
cp "$legacy_setup" "$second/EasyAntiCheat_Setup.exe"

build() {  # TREE LEGACY_SETUP
  "$1/source/scripts/build-release.sh" -P "Zelqa Test Publisher" -B "$1/build" "$2" "$1/dist" \
    >"$1/build.log" 2>&1 ||
    { cat "$1/build.log"; echo "the release build in $1 failed"; exit 1; }
}
build "$first" "$first/legacy.exe"
build "$second" "$second/EasyAntiCheat_Setup.exe"

status=0
if ! cmp -s "$first/dist/Launcher.exe" "$second/dist/Launcher.exe"; then
  # cmp counts bytes from 1; "EOF on" means one file is a prefix of the other.
  report=$(cmp "$first/dist/Launcher.exe" "$second/dist/Launcher.exe" 2>&1 || true)
  byte=$(sed -n 's/.* differ: byte \([0-9]*\).*/\1/p' <<<"$report")
  if [ -n "$byte" ]; then
    printf 'Launcher.exe differs between the two builds, first at offset 0x%x\n' $((byte - 1))
  else
    echo "Launcher.exe differs between the two builds: $report"
  fi
  echo "sections of the first build:"
  "$objdump" -h "$first/dist/Launcher.exe" | grep -E '^ +[0-9]+ ' || true
  status=1
fi
cmp -s "$first/dist/SHA256SUMS" "$second/dist/SHA256SUMS" || { echo "SHA256SUMS differ"; status=1; }

listing=$(cd "$first/dist" && ls -A | tr '\n' ' ')
[ "$listing" = "Launcher.exe SHA256SUMS " ] || { echo "dist/ holds: $listing"; status=1; }
(cd "$first/dist" && sha256sum --quiet -c SHA256SUMS) || { echo "SHA256SUMS does not check"; status=1; }

for standin in ZelqaAntiCheat.Installer.exe legacy_setup_standin.exe msgbox_answerer.exe; do
  [ ! -e "$first/build/$standin" ] || { echo "the release build made $standin"; status=1; }
done

# Read whole before matching: grep -q would close the pipe early.
sections=$("$objdump" -h "$first/dist/Launcher.exe")
symbols=$("$objdump" -t "$first/dist/Launcher.exe")
if [[ $sections == *.debug* ]]; then
  echo "Launcher.exe keeps debug sections"
  status=1
fi
if [[ $symbols != *"no symbols"* ]]; then
  echo "Launcher.exe keeps its symbol table"
  status=1
fi

[ $status -ne 0 ] || echo "two release builds are identical: $(cut -d' ' -f1 "$first/dist/SHA256SUMS")"
exit $status
