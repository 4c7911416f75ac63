#!/usr/bin/env bash
# Sets up and tears down the Wine session the tests run in: a fresh Wine
# prefix inside the build tree (never ~/.wine) and a private Xvfb display for
# the message boxes.
#   wine-session.sh setup|cleanup BUILD_DIR
set -euo pipefail
action=$1
build=$(cd "$2" && pwd)
prefix=$build/wineprefix
state=$build/wine-session

stop_session() {
  if [ -f "$state/xvfb.pid" ]; then
    kill "$(cat "$state/xvfb.pid")" 2>/dev/null || true
    rm -f "$state/xvfb.pid"
  fi
  if [ -d "$prefix" ]; then
    WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
  fi
}

case $action in
  setup)
    stop_session
    rm -rf "$prefix" "$state" "$build/scratch"
    mkdir -p "$state" "$build/scratch"
    # Xvfb picks a free display and writes its number to fd 3.
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$state/display" </dev/null >/dev/null 2>&1 &
    echo $! >"$state/xvfb.pid"
    # A loaded machine can take a while.
    for _ in $(seq 300); do
      [ -s "$state/display" ] && break
      sleep 0.1
    done
    [ -s "$state/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
    export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=":$(cat "$state/display")"
    # The prefix is made in the locale the tests run in (see wine-run.sh.in).
    case $(locale charmap 2>/dev/null) in UTF-8) ;; *) export LC_ALL=C.UTF-8 ;; esac
    # Wine takes the display language of the *_prompt tests from these Linux
    # locales; without one Wine may fall back to English, which the tests catch.
    for locale in ar_SA he_IL sw_KE ru_UA; do
      if ! locale -a 2>/dev/null | grep -qix "$locale\.utf-\?8"; then
        localedef -i "$locale" -f UTF-8 "$locale.UTF-8" >/dev/null 2>&1 ||
          echo "warning: could not create the $locale.UTF-8 locale (Debian package locales)" >&2
      fi
    done
    # One wineserver for the whole run instead of one per test program.
    mkdir -p "$prefix"
    wineserver -p </dev/null >/dev/null 2>&1
    # Without address randomization where it can be set, as every Wine
    # program of the run (see wine-run.sh.in).
    no_aslr() { if setarch -R true 2>/dev/null; then setarch -R "$@"; else "$@"; fi; }
    no_aslr wineboot -i </dev/null >/dev/null 2>&1
    # Xvfb runs no window manager: Wine would wait about two seconds for one
    # whenever a message box closes. Unmanaged windows draw their own frame.
    no_aslr wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
    # Spare drive letters on scratch folders: the cleanup's refusal of a
    # drive root, and a tree on another drive, are tested there, with
    # nothing real at risk.
    for drive in x y; do
      mkdir -p "$build/scratch/drive-$drive"
      ln -sfn "$build/scratch/drive-$drive" "$prefix/dosdevices/$drive:"
    done
    echo "Wine session ready: prefix $prefix, display $DISPLAY"
    ;;
  cleanup)
    stop_session
    ;;
  *)
    echo "usage: $0 setup|cleanup BUILD_DIR" >&2
    exit 2
    ;;
esac
