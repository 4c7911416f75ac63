#!/usr/bin/env bash
# Builds the NSIS example setup (examples/nsis) around the built Launcher.exe
# and the stand-in anticheat installer, and runs it silently under Wine into
# a game folder that still holds the legacy anti-cheat's files: with an
# installer that succeeds, one that asks for a restart (3010) and one that
# fails with 1603. Checks the setup's own exit code (read inside Wine: the
# Linux exit status keeps only 8 bits) and that the legacy files go only
# after a successful install.
#   nsis_setup.sh SOURCE_DIR BUILD_DIR WORK_DIR
# Exits 77 (skipped) when makensis (Debian package nsis) is missing.
set -euo pipefail
source_dir=$1 build=$2 work=$3

command -v makensis >/dev/null || { echo "makensis is not installed: skipped"; exit 77; }
wine_run=$build/wine-run
games_key='HKLM\SOFTWARE\Zelqa Games'

rm -rf "$work"
mkdir -p "$work/game" "$work/anticheat"
echo game >"$work/game/Game.exe"
cp "$build/Launcher.exe" "$build/ZelqaAntiCheat.Installer.exe" "$work/anticheat/"
# -WX: a warning in the example is a fault of the example.
makensis -V2 -WX -DGAME_FILES="$work/game" -DANTICHEAT_FILES="$work/anticheat" \
  -DOUTFILE="$work/MyGameSetup.exe" "$source_dir/examples/nsis/MyGame.nsi" >"$work/makensis.log" 2>&1 ||
  { cat "$work/makensis.log"; echo "makensis failed"; exit 1; }
work_windows=$("$wine_run" winepath -w "$work" | tr -d '\r')

# The registry of the test prefix holds no game but the one set up here.
forget_games() { "$wine_run" reg delete "$games_key" /f </dev/null >/dev/null 2>&1 || true; }
trap forget_games EXIT

installer_run=$'^[^\n]*ZelqaAntiCheat\\.Installer\\.exe"? --noui --install --title "My Game"$'
status=0
# case | installer's exit code | setup's exit code | legacy files left
while IFS='|' read -r name installer_exit setup_exit legacy_left; do
  case_dir=$work/$name
  game="$case_dir/My Game"
  mkdir -p "$game/EasyAntiCheat"
  echo legacy >"$game/EasyAntiCheat/EasyAntiCheat_x64.dll"
  echo legacy >"$game/Game_launcher.exe"
  # The setup's exit code, kept whole by cmd.
  printf '@echo off\r\n"%s" /S /D=%s\r\n>"%%~dp0setup-exit.txt" echo %%ERRORLEVEL%%\r\n' \
    "$work_windows\\MyGameSetup.exe" "$work_windows\\$name\\My Game" >"$case_dir/run.bat"

  forget_games
  set +e
  ZELQA_TEST_INSTALLER_EXIT=$installer_exit \
    ZELQA_TEST_INSTALLER_RECORD="$work_windows\\$name\\installer.txt" \
    timeout 120 "$wine_run" cmd /c "$work_windows\\$name\\run.bat" </dev/null >"$case_dir/wine.log" 2>&1
  code=$?
  set -e
  forget_games

  failed=0
  [ $code -ne 124 ] || { echo "$name: the setup did not end within 120 s"; failed=1; }
  got=$(tr -d '\r\n ' <"$case_dir/setup-exit.txt" 2>/dev/null || echo none)
  [ "$got" = "$setup_exit" ] || { echo "$name: the setup exited with $got, not $setup_exit"; failed=1; }
  # Started once, with the title as one argument.
  recorded=$(cat "$case_dir/installer.txt" 2>/dev/null || true)
  [[ $recorded =~ $installer_run ]] ||
    { echo "$name: the anticheat installer ran as: ${recorded:-never}"; failed=1; }
  for legacy in EasyAntiCheat Game_launcher.exe; do
    if [ -e "$game/$legacy" ] && [ "$legacy_left" = deleted ]; then
      echo "$name: $legacy was left in the game folder"
      failed=1
    elif [ ! -e "$game/$legacy" ] && [ "$legacy_left" = kept ]; then
      echo "$name: $legacy was deleted"
      failed=1
    fi
  done
  [ -e "$game/Game.exe" ] || { echo "$name: the game was not installed"; failed=1; }
  if [ $failed -ne 0 ]; then
    status=1
    cat "$case_dir/wine.log"
    log=$(ls -t "$build"/wineprefix/drive_c/users/*/AppData/Roaming/Launcher/Launcher_*.log 2>/dev/null |
      head -n 1 || true)
    [ -z "$log" ] || { echo "newest run log, $log:"; cat "$log"; }
  else
    echo "$name: the setup exited with $got, legacy files $legacy_left"
  fi
done <<'CASES'
installed|0|0|deleted
restart|3010|3010|deleted
installer-failed|1603|1603|kept
CASES
exit $status
