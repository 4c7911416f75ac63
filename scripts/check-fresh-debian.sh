#!/usr/bin/env bash
# Runs the README's two commands, scripts/demo.sh then scripts/test.sh, in
# minimal Debian roots (debootstrap --variant=minbase: no git, no locales),
# as root, to show they install everything they need on a fresh system (the
# demo first, which installs only what it uses).
#
#   scripts/check-fresh-debian.sh [-k] ROOTS_DIR RELEASE...     (as root)
#
#   RELEASE   bookworm (or 12), trixie (or 13)
#   ROOTS_DIR holds, per release, the pristine root as debootstrap left it
#             (RELEASE.tar, made once; delete it to bootstrap again), the
#             root the check runs in (RELEASE/, unpacked anew from the tar on
#             every run), the logs (RELEASE-test.log, RELEASE-demo.log) and
#             one line per run in results.txt.
#   -k        keep RELEASE/ as the last run left it (packages installed),
#             only the tree is copied in anew: a quick re-check, not a fresh one
#
# Needs debootstrap and the network to Debian's mirror. The tree is copied
# to /zelqa in the root without .git, build/ and dist/. Processes left in the
# root are ended and its mounts undone on every exit path.
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
mirror=${DEBIAN_MIRROR:-http://deb.debian.org/debian}

keep=false
[ "${1:-}" = "-k" ] && { keep=true; shift; }
[ $# -ge 2 ] || { sed -n '7p' "$0" | sed 's/^#  */usage: /' >&2; exit 2; }
[ "$(id -u)" -eq 0 ] || { echo "run as root (debootstrap, mount, chroot)" >&2; exit 2; }
command -v debootstrap >/dev/null || { echo "debootstrap is not installed" >&2; exit 1; }
mkdir -p "$1"
roots=$(cd "$1" && pwd)
shift

root=''
mounted=()
# Ends what still runs inside the root (Xvfb, wineserver), then unmounts.
release_root() {
  [ -n "$root" ] || return 0
  local proc pids=()
  for proc in /proc/[0-9]*; do
    [ "$(readlink "$proc/root" 2>/dev/null)" = "$root" ] && pids+=("${proc#/proc/}")
  done
  if [ ${#pids[@]} -gt 0 ]; then
    kill "${pids[@]}" 2>/dev/null || true
    sleep 2
    kill -9 "${pids[@]}" 2>/dev/null || true
  fi
  local i
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    umount "${mounted[i]}" 2>/dev/null || umount -l "${mounted[i]}" || true
  done
  mounted=()
  root=''
}
trap release_root EXIT
trap 'exit 130' INT TERM

mount_in() {  # MOUNT ARGUMENTS... TARGET
  mount "$@"
  mounted+=("${!#}")
}

check() {
  local release=$1
  case $release in 12) release=bookworm ;; 13) release=trixie ;; esac
  local base=$roots/$release.tar
  root=$roots/$release
  if [ ! -f "$base" ]; then
    echo "== $release: debootstrap --variant=minbase"
    rm -rf "$root.bootstrap"
    debootstrap --variant=minbase "$release" "$root.bootstrap" "$mirror" >"$roots/$release-bootstrap.log" 2>&1 ||
      { tail -20 "$roots/$release-bootstrap.log"; echo "debootstrap $release failed" >&2; exit 1; }
    tar -C "$root.bootstrap" -cf "$base.part" . && mv "$base.part" "$base"
    rm -rf "$root.bootstrap"
  fi
  if ! $keep || [ ! -d "$root/usr" ]; then
    rm -rf "$root"
    mkdir -p "$root"
    tar -C "$root" -xf "$base"
  fi
  rm -rf "$root/zelqa"
  mkdir -p "$root/zelqa"
  tar -C "$source_dir" --exclude=./.git --exclude=./build --exclude=./dist -cf - . | tar -C "$root/zelqa" -xf -
  cp /etc/resolv.conf "$root/etc/resolv.conf"
  # No daemon a package brings may start in the root (it would hold the mounts).
  printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
  chmod +x "$root/usr/sbin/policy-rc.d"

  mount_in -t proc proc "$root/proc"
  mount_in --bind /dev "$root/dev"
  mount_in --bind /dev/pts "$root/dev/pts"
  mount_in --bind /dev/shm "$root/dev/shm"

  local command status start seconds summary version
  version=$(cat "$root/etc/debian_version")
  for command in demo test; do
    echo "== $release ($version): scripts/$command.sh"
    start=$(date +%s)
    status=0
    nice -n 10 chroot "$root" /usr/bin/env -i HOME=/root TERM=dumb \
      PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
      /bin/bash -c "cd /zelqa && scripts/$command.sh" </dev/null >"$roots/$release-$command.log" 2>&1 ||
      status=$?
    seconds=$(($(date +%s) - start))
    if [ "$command" = test ]; then
      summary="$(grep -E 'tests passed|tests failed' "$roots/$release-test.log" | tail -1 || true),"
      summary+=" $(grep -c '(Skipped)$' "$roots/$release-test.log" || true) skipped"
    else
      summary=$(grep -E '^Exit code:' "$roots/$release-demo.log" || true)
    fi
    echo "$(date -u +%FT%TZ) $release $version $command exit=$status ${seconds}s $summary" |
      tee -a "$roots/results.txt"
    if [ "$command" = test ]; then
      sed -n '/tests passed/,$p' "$roots/$release-test.log"
    fi
    [ $status -eq 0 ] || overall=1
  done
  release_root
}

overall=0
for release in "$@"; do
  check "$release"
done
exit $overall
