#!/usr/bin/env bash
# Builds an example setup of docs/integration.md (examples/nsis or
# examples/msi) around the built Launcher.exe and the stand-in anticheat
# installer, and runs it and its uninstall silently under Wine, the game
# folder holding the legacy anti-cheat's files. Checks the exit codes (read
# inside Wine: the Linux exit status keeps only 8 bits), the installer's
# command lines, that the legacy files go only after a successful install,
# and whether the game's launcher and registration are there after each.
#   example_setup.sh nsis|msi SOURCE_DIR BUILD_DIR WORK_DIR
# Exits 77 (skipped) without the example's tools (Debian packages nsis, or
# wixl and msitools).
set -euo pipefail
tool=$1 source_dir=$2 build=$3 work=$4
wine_run=$build/wine-run
games_key='HKLM\SOFTWARE\Zelqa Games'
for needed in $([ "$tool" = nsis ] && echo makensis || echo wixl msiinfo); do
  command -v "$needed" >/dev/null || { echo "$needed is not installed: skipped"; exit 77; }
done

rm -rf "$work"
mkdir -p "$work/build/game" "$work/build/ZelqaAntiCheat"
echo game >"$work/build/game/Game.exe"
cp "$build/Launcher.exe" "$build/ZelqaAntiCheat.Installer.exe" "$work/build/ZelqaAntiCheat/"
work_windows=$("$wine_run" winepath -w "$work" | tr -d '\r')
# Each builds the example as it stands, from build\ in the current folder.
if [ "$tool" = nsis ]; then
  # -WX: a warning is a fault of the example. The 32-bit setup (the Windows
  # download of NSIS has only its stubs) is built only: Wine here runs 64-bit.
  build_example() {
    makensis -NOCD -V2 -WX -DOUTFILE=MyGameSetup32.exe "$source_dir/examples/nsis/MyGame.nsi" &&
      makensis -NOCD -V2 -WX -DTARGET=amd64-unicode "$source_dir/examples/nsis/MyGame.nsi"
  }
else
  build_example() { wixl -a x64 -o MyGame.msi "$source_dir/examples/msi/MyGame.wxs"; }
fi
(cd "$work" && build_example) >"$work/build.log" 2>&1 || { cat "$work/build.log"; echo "the build failed"; exit 1; }
# Wine runs a deferred action wherever it stands; Windows only between
# InstallInitialize and InstallFinalize. The install's comes after the files
# and the registration, the uninstall's before anything is removed.
[ "$tool" = nsis ] || msiinfo export "$work/MyGame.msi" InstallExecuteSequence | sort -t$'\t' -k3n | cut -f1 |
  tr '\n' ' ' | grep -q 'InstallInitialize UninstallAntiCheat .*WriteRegistryValues .*InstallAntiCheat InstallFinalize' ||
  { echo "the actions stand elsewhere:"; msiinfo export "$work/MyGame.msi" InstallExecuteSequence; exit 1; }

# The registry of the test prefix holds no game but the one set up here.
forget_games() { "$wine_run" reg delete "$games_key" /f </dev/null >/dev/null 2>&1 || true; }
trap forget_games EXIT

# Runs COMMAND in Wine, the installer exiting with INSTALLER_EXIT; prints its exit code.
run_step() {  # STEP INSTALLER_EXIT COMMAND
  printf '@echo off\r\n%s\r\n>"%%~dp0%s-exit.txt" echo %%ERRORLEVEL%%\r\n' "$3" "$1" >"$case_dir/$1.bat"
  ZELQA_TEST_INSTALLER_EXIT=$2 ZELQA_TEST_INSTALLER_RECORD="$work_windows\\$name\\installer.txt" \
    timeout 120 "$wine_run" cmd /c "$work_windows\\$name\\$1.bat" </dev/null >>"$case_dir/wine.log" 2>&1 || true
  tr -d '\r\n ' <"$case_dir/$1-exit.txt" 2>/dev/null || echo none
}
# yes when the game's launcher and its registration are there, no when neither.
installed() {
  local launcher=no registered=no
  [ ! -e "$game/__Installer/ZelqaAntiCheat/Launcher.exe" ] || launcher=yes
  "$wine_run" reg query "$games_key\\My Game" /v "Install Dir" </dev/null >/dev/null 2>&1 && registered=yes
  [ $launcher = $registered ] && echo $launcher || echo "launcher $launcher, registration $registered"
}
# EXPECTED may list alternatives: 1603/1627.
expect() { [[ /$3/ == */"$2"/* ]] || { echo "$name: $1 $2, not $3"; failed=1; }; }

status=0
# case | installer's exit on install | setup's exit | legacy files | game installed |
# installer's exit on uninstall | uninstall's exit | game installed after it
while IFS='|' read -r name install_exit setup_exit legacy_left after_install uninstall_exit \
  uninstall_code after_uninstall; do
  case_dir=$work/$name
  if [ "$tool" = nsis ]; then
    game=$case_dir/'My Game' game_windows="$work_windows\\$name\\My Game"
    install="\"$work_windows\\MyGameSetup.exe\" /S /D=$game_windows"
    # _?= runs the uninstaller where it is, so that it is waited for.
    uninstall="\"$game_windows\\Uninstall.exe\" /S _?=$game_windows"
  else
    # Wine's msiexec looks for a product's files in its default folder on
    # removal, wherever INSTALLDIR put them: the game goes there. Wine runs
    # the action as the user on the desktop, not as LocalSystem in session 0:
    # the run log is in %APPDATA%\Launcher, not beside the launcher.
    game="$build/wineprefix/drive_c/Program Files/My Game"
    install="msiexec /i \"$work_windows\\MyGame.msi\" /qn"
    uninstall="msiexec /x \"$work_windows\\MyGame.msi\" /qn"
  fi
  rm -rf "$game"
  mkdir -p "$case_dir" "$game/EasyAntiCheat"
  echo legacy | tee "$game/EasyAntiCheat/EasyAntiCheat_x64.dll" >"$game/Game_launcher.exe"
  forget_games

  failed=0
  expect "the setup exited with" "$(run_step install "$install_exit" "$install")" "$setup_exit"
  for legacy in EasyAntiCheat Game_launcher.exe; do expect "$legacy was" "$([ -e "$game/$legacy" ] && echo kept || echo deleted)" "$legacy_left"; done
  expect "the game installed:" "$(installed)" "$after_install"
  runs='--noui --install --title "My Game"'
  if [ -n "$uninstall_exit" ]; then
    expect "the uninstall exited with" "$(run_step uninstall "$uninstall_exit" "$uninstall")" "$uninstall_code"
    expect "after the uninstall, the game installed:" "$(installed)" "$after_uninstall"
    runs+='|--noui --uninstall --title "My Game"'
  fi
  # Started once a step, with the title as one argument.
  expect "the anticheat installer ran as" \
    "$(sed 's/^.*ZelqaAntiCheat\.Installer\.exe"\? //' "$case_dir/installer.txt" 2>/dev/null | paste -sd'|')" "$runs"
  # A product still installed would skip the next case's install action.
  [ "$tool" = nsis ] || [ "$(installed)" = no ] || run_step clean-up 0 "$uninstall" >/dev/null
  forget_games

  if [ $failed -ne 0 ]; then
    status=1
    cat "$case_dir/wine.log"
    log=$(ls -t "$build"/wineprefix/drive_c/users/*/AppData/Roaming/Launcher/Launcher_*.log 2>/dev/null | head -n 1 || true)
    [ -z "$log" ] || { echo "newest run log, $log:"; cat "$log"; }
  else
    echo "$name: the setup exited with $setup_exit, legacy files $legacy_left${uninstall_exit:+, the uninstall with $uninstall_code}"
  fi
done < <(sed -n "s/^$tool|//p" <<'CASES'
nsis|installed|0|0|deleted|yes|0|0|no
nsis|restart|3010|3010|deleted|yes|3010|3010|no
nsis|installer-failed|1603|1603|kept|yes|1603|1603|yes
# For a failed action Windows' msiexec exits with 1603, Wine 8's with 1627.
msi|installed|0|0|deleted|yes|0|0|no
msi|restart|3010|0|deleted|yes|3010|0|no
msi|installer-failed|1603|1603/1627|kept|no|||
msi|uninstall-failed|0|0|deleted|yes|1603|1603/1627|yes
CASES
)
exit $status
