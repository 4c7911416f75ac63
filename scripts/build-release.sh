#!/usr/bin/env bash
# Builds the shipped launcher: configures the "release" preset around the
# studio's legacy setup program, builds it, and writes OUT_DIR (default dist/
# at the top of the source tree) with Launcher.exe and SHA256SUMS.
#
#   scripts/build-release.sh -P PUBLISHER [-B BUILD_DIR] LEGACY_SETUP_EXE [OUT_DIR]
#
# PUBLISHER is the subject common name of the certificate that signs
# ZelqaAntiCheat.Installer.exe: the launcher runs no installer not signed by
# it. "unsigned-allowed" builds one that runs any, on purpose.
# BUILD_DIR defaults to the preset's build/release. Two builds of the same
# commit give the same bytes, wherever the trees are.
set -euo pipefail

usage() {
  echo "usage: $0 -P PUBLISHER [-B BUILD_DIR] LEGACY_SETUP_EXE [OUT_DIR]" >&2
  exit 2
}

source_dir=$(cd "$(dirname "$0")/.." && pwd)
build_dir=$source_dir/build/release
publisher=''
while getopts "B:P:h" option; do
  case $option in
    B) build_dir=$OPTARG ;;
    P) publisher=$OPTARG ;;
    *) usage ;;
  esac
done
shift $((OPTIND - 1))
[ $# -ge 1 ] && [ $# -le 2 ] && [ -n "$publisher" ] || usage

legacy_setup=$1
out_dir=${2:-$source_dir/dist}
if [ ! -f "$legacy_setup" ]; then
  echo "legacy setup program not found: $legacy_setup" >&2
  exit 1
fi
# The cache keeps the path, and the build may run from another folder.
legacy_setup=$(cd "$(dirname "$legacy_setup")" && pwd)/$(basename "$legacy_setup")

cmake -S "$source_dir" --preset release -B "$build_dir" \
  -DZELQA_LEGACY_SETUP_EXE="$legacy_setup" -DZELQA_INSTALLER_PUBLISHER="$publisher"
cmake --build "$build_dir"

mkdir -p "$out_dir"
# Only the launcher ships: a stale file from an older layout must not end up
# in the checksums.
rm -f "$out_dir/Launcher.exe" "$out_dir/SHA256SUMS"
cp "$build_dir/Launcher.exe" "$out_dir/Launcher.exe"
(cd "$out_dir" && sha256sum Launcher.exe >SHA256SUMS)
echo "release written to $out_dir:"
cat "$out_dir/SHA256SUMS"
