#!/usr/bin/env bash
# Builds the launcher and runs one full "install" under Wine: a registered
# game with the launcher in its __Installer\ZelqaAntiCheat folder, the legacy
# anti-cheat registered for the game and left in its folder, and the
# project's stand-in installer. Prints the run log and the exit code.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

"$root/scripts/install-deps.sh" demo
# The test programs need GoogleTest, which only scripts/test.sh installs;
# once it is there they stay on, so that the two share one build.
tests=OFF
[ ! -f /usr/src/googletest/CMakeLists.txt ] || tests=ON
cmake --preset mingw -DZELQA_BUILD_TESTS=$tests >/dev/null
cmake --build --preset mingw --target Launcher standin_installer >/dev/null

build=$root/build/mingw
demo=$build/demo
game="$demo/Demo Game"
launcher_dir=$game/__Installer/ZelqaAntiCheat
rm -rf "$demo"
mkdir -p "$launcher_dir" "$game/EasyAntiCheat/Certificates"
cp "$build/Launcher.exe" "$build/ZelqaAntiCheat.Installer.exe" "$launcher_dir/"
echo "game" >"$game/Game.exe"
echo "old launcher" >"$game/Game_launcher.exe"
echo "legacy" >"$game/EasyAntiCheat/EasyAntiCheat_x64.dll"
echo "legacy" >"$game/EasyAntiCheat/Certificates/base.cer"

export WINEPREFIX=$build/demo-prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
# Debian's Wine has no preloader: without address randomization no start
# loses its new process to where the kernel put its heap (tests/wine-run.sh.in).
# A container whose seccomp profile refuses that starts Wine as it is.
no_aslr=()
setarch -R true 2>/dev/null && no_aslr=(setarch -R)
wine() { "${no_aslr[@]}" "$(type -P wine)" "$@"; }
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Creating the demo's Wine prefix (once)..."
  "${no_aslr[@]}" wineboot -i >/dev/null 2>&1
fi
game_windows=$("${no_aslr[@]}" winepath -w "$game")
wine reg add 'HKLM\SOFTWARE\Zelqa Games\Demo' /v 'Install Dir' /d "$game_windows" /f >/dev/null 2>&1
wine reg add 'HKLM\SOFTWARE\WOW6432Node\EasyAntiCheat' /v GamesInstalled /d '1234;5678' /f >/dev/null 2>&1
logs=$("${no_aslr[@]}" winepath -u 'C:\users')
rm -f "$logs"/*/AppData/Roaming/Launcher/Launcher_*.log

echo "> Launcher.exe install -title \"Demo Game\" -log -showerrors -eactitleId 1234"
status=0
(cd "$launcher_dir" && wine Launcher.exe install -title "Demo Game" -log -showerrors -eactitleId 1234) ||
  status=$?
wineserver -w

echo "Run log:"
cat "$logs"/*/AppData/Roaming/Launcher/Launcher_*.log
echo "Exit code: $status"
echo "Left in the game folder:"
(cd "$game" && find . | sort)
