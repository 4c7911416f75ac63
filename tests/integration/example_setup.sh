#!/usr/bin/env bash
# Builds an example setup of docs/integration.md (examples/nsis or
# examples/msi) around the built Launcher.exe and the stand-in anticheat
# installer, and runs it and its uninstall silently under Wine, the game
# folder holding the legacy anti-cheat's files. Checks the exit codes (read
# inside Wine: the Linux exit status keeps only 8 bits), the installer's
# command lines, that the legacy files go only after a successful install,
# and whether the game's launcher, registration and Add/Remove Programs entry are there after each.
#   example_setup.sh nsis|msi SOURCE_DIR BUILD_DIR WORK_DIR
# Exits 77 (skipped) without the example's tools (Debian packages nsis, or
# wixl and msitools).
set -euo pipefail
tool=$1 source_dir=$2 build=$3 work=$4
wine_run=$build/wine-run
games_key='HKLM\SOFTWARE\Zelqa Games' entries_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
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
  build_example() { wixl -a x64 -o MyGame.msi "$source_dir/examples/msi/MyGame.wxs" && sed 's/ Version="1\.0\.0"/ Version="1.1.0"/' \
    "$source_dir/examples/msi/MyGame.wxs" >MyGame-1.1.wxs && wixl -a x64 -o MyGame-1.1.msi MyGame-1.1.wxs; }
fi
(cd "$work" && build_example) >"$work/build.log" 2>&1 || { cat "$work/build.log"; echo "the build failed"; exit 1; }
# Wine runs a deferred action wherever it stands; Windows only between
# InstallInitialize and InstallFinalize. The install's comes after the files
# and the registration, the uninstall's (and the logs' removal) before anything is removed.
[ "$tool" = nsis ] || msiinfo export "$work/MyGame.msi" InstallExecuteSequence | sort -t$'\t' -k3n | cut -f1 | tr '\n' ' ' |
  grep -q 'InstallInitialize UninstallAntiCheat RemoveLauncherLogs .*WriteRegistryValues .*InstallAntiCheat InstallFinalize' ||
  { echo "the actions stand elsewhere:"; msiinfo export "$work/MyGame.msi" InstallExecuteSequence; exit 1; }

# The registry of the test prefix holds no game but the one set up here.
forget_games() { for key in "$games_key" "$entries_key\\My Game"; do "$wine_run" reg delete "$key" /f </dev/null >/dev/null 2>&1 || :; done; }
trap forget_games EXIT

# Runs COMMAND in Wine, the installer exiting with INSTALLER_EXIT; prints its exit code.
run_step() {  # STEP INSTALLER_EXIT COMMAND
  printf '@echo off\r\n%s\r\n>"%%~dp0%s-exit.txt" echo %%ERRORLEVEL%%\r\n' "$3" "$1" >"$case_dir/$1.bat"
  ZELQA_TEST_INSTALLER_EXIT=$2 ZELQA_TEST_INSTALLER_RECORD="$work_windows\\$name\\installer.txt" \
    timeout 120 "$wine_run" cmd /c "$work_windows\\$name\\$1.bat" </dev/null >>"$case_dir/wine.log" 2>&1 || true
  tr -d '\r\n ' <"$case_dir/$1-exit.txt" 2>/dev/null || echo none
}
# yes when the game's launcher, its registration and one Add/Remove Programs
# entry are there; no when none is, nor the launcher's folder.
installed() {
  local launcher=no registered=no entries
  [ ! -e "$game/__Installer" ] || launcher=left
  [ ! -e "$game/__Installer/ZelqaAntiCheat/Launcher.exe" ] || launcher=yes
  "$wine_run" reg query "$games_key\\My Game" /v "Install Dir" </dev/null >/dev/null 2>&1 && registered=yes
  entries=$("$wine_run" reg query "$entries_key" /s </dev/null 2>&1 | tr -d '\r' | grep -cx ' *DisplayName *REG_SZ *My Game' || true)
  case $launcher$registered$entries in yesyes1) echo yes ;; nono0) echo no ;;
    *) echo "launcher $launcher, registration $registered, $entries entries" ;; esac
}
# EXPECTED may list alternatives: 1603/1627.
expect() { [[ /$3/ == */"$2"/* ]] || { echo "$name: $1 $2, not $3"; failed=1; }; }

status=0
# case | installer's exit on install | setup's exit | legacy files | game installed |
# installer's exit on uninstall | uninstall's exit | game installed after it |
# the anticheat's installer ran: i to install, u to uninstall
while IFS='|' read -r name install_exit setup_exit legacy_left after_install uninstall_exit \
  uninstall_code after_uninstall ran; do
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
    [ "$name" != upgrade ] || install+=" && ${install/.msi/-1.1.msi}" uninstall=${uninstall/.msi/-1.1.msi}
    [ "$name" != upgrade-removal ] || uninstall+=" UPGRADINGPRODUCTCODE={0C4F6A2E-4D1B-4C5A-9E3F-1A2B3C4D5E6F}"
  fi
  rm -rf "$game"
  mkdir -p "$case_dir" "$game/EasyAntiCheat"
  echo legacy | tee "$game/EasyAntiCheat/EasyAntiCheat_x64.dll" >"$game/Game_launcher.exe"
  forget_games

  failed=0
  expect "the setup exited with" "$(run_step install "$install_exit" "$install")" "$setup_exit"
  for legacy in EasyAntiCheat Game_launcher.exe; do expect "$legacy was" "$([ -e "$game/$legacy" ] && echo kept || echo deleted)" "$legacy_left"; done
  expect "the game installed:" "$(installed)" "$after_install"
  if [ -n "$uninstall_exit" ]; then
    # A run log the launcher wrote beside itself, as it does as LocalSystem.
    [ ! -d "$game/__Installer/ZelqaAntiCheat" ] || : >"$game/__Installer/ZelqaAntiCheat/Launcher_2026-01-01 00-00-00.log"
    expect "the uninstall exited with" "$(run_step uninstall "$uninstall_exit" "$uninstall")" "$uninstall_code"
    expect "after the uninstall, the game installed:" "$(installed)" "$after_uninstall"
  fi
  # The title always one argument.
  expect "the anticheat installer ran" "$(sed 's/^.*ZelqaAntiCheat\.Installer\.exe"\? --noui --\([iu]\)n[a-z]* --title "My Game"$/\1/' \
    "$case_dir/installer.txt" 2>/dev/null | paste -sd '')" "$ran"
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
nsis|installed|0|0|deleted|yes|0|0|no|iu
nsis|restart|3010|3010|deleted|yes|3010|3010|no|iu
nsis|installer-failed|1603|1603|kept|no||||i
nsis|uninstall-failed|0|0|deleted|yes|1603|1603|yes|iu
# For a failed action Windows' msiexec exits with 1603, Wine 8's with 1627.
msi|installed|0|0|deleted|yes|0|0|no|iu
msi|restart|3010|0|deleted|yes|3010|0|no|iu
msi|installer-failed|1603|1603/1627|kept|no||||i
# Wine's rollback of a failed removal restores the files and the game's
# registration, not the product's own with its entry; Windows' restores all.
msi|uninstall-failed|0|0|deleted|yes|1603|1603/1627|yes/launcher yes, registration yes, 0 entries|iu
# 1.0.0, then 1.1.0: Wine's removal of 1.0.0 sets no UPGRADINGPRODUCTCODE and so
# uninstalls the anticheat, Windows' doesn't (upgrade-removal: as Windows removes it).
msi|upgrade|0|0|deleted|yes|0|0|no|iiu/iuiu
msi|upgrade-removal|0|0|deleted|yes|0|0|no|i
CASES
)
exit $status
