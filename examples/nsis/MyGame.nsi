; Setup of "My Game" that installs the Zelqa anticheat through Launcher.exe
; (see docs/integration.md).
;
;   makensis MyGame.nsi
;
; builds MyGameSetup.exe from the game's files in build\game and the two
; programs that come with the anticheat, Launcher.exe and
; ZelqaAntiCheat.Installer.exe, in build\ZelqaAntiCheat, both beside this
; script (or in the current folder with makensis /NOCD). Each name defined
; below can be set on the makensis command line instead: /DGAME_FILES=D:\game
; (-DGAME_FILES=... with makensis on Linux).
;
; When the anticheat can't be installed, the setup removes what it wrote,
; stops and exits with the launcher's exit code, so whatever runs
; "MyGameSetup.exe /S" learns why.
; When Windows must restart before the anticheat runs, the setup sets its
; reboot flag, exits with 3010 (or 1641: a restart is already under way) and,
; unless silent, offers to restart. The uninstaller does the same; when the
; anticheat can't be uninstalled, it removes nothing (unless the player,
; asked, wants the game gone anyway). Add/Remove Programs lists the game and
; runs the uninstaller. Run it as "Uninstall.exe /S _?=<game folder>" to wait
; for it and read its exit code; run so, it can't delete itself and the game
; folder, which the caller then removes.

; A 32-bit setup: the usual Windows download of NSIS has only 32-bit stubs.
; It writes the 64-bit registry view (SetRegView 64 below) and installs into
; the 64-bit Program Files folder all the same. An NSIS that has 64-bit stubs
; (Debian's nsis package, a build from the sources) makes a 64-bit setup
; with -DTARGET=amd64-unicode.
Unicode true
!ifdef TARGET
  Target ${TARGET}
!endif

!include LogicLib.nsh
!include x64.nsh

!ifndef GAME_TITLE
  !define GAME_TITLE "My Game"
!endif
!ifndef LEGACY_TITLE_ID
  !define LEGACY_TITLE_ID 1234  ; the game's id at its former anti-cheat
!endif
!ifndef GAME_FILES
  !define GAME_FILES "build\game"
!endif
!ifndef ANTICHEAT_FILES
  !define ANTICHEAT_FILES "build\ZelqaAntiCheat"
!endif
!ifndef OUTFILE
  !define OUTFILE "MyGameSetup.exe"
!endif

!define GAME_KEY "SOFTWARE\Zelqa Games\${GAME_TITLE}"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${GAME_TITLE}"
!define LAUNCHER_DIR "$INSTDIR\__Installer\ZelqaAntiCheat"

Name "${GAME_TITLE}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${GAME_TITLE}"
RequestExecutionLevel admin

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Function .onInit
  ; The launcher is a 64-bit program, and reads the 64-bit registry view.
  ${IfNot} ${RunningX64}
    MessageBox MB_ICONSTOP "${GAME_TITLE} needs 64-bit Windows." /SD IDOK
    Abort
  ${EndIf}
  SetRegView 64
FunctionEnd

; Removes what the setup wrote: in the uninstaller, and in a setup whose
; anticheat failed (NSIS undoes nothing by itself). The game's own files go
; by name: the folder may hold more than the game.
!macro RemoveGame
  SetOutPath "$TEMP"  ; leave the folder before removing it
  RMDir /r "$INSTDIR\__Installer"
  Delete "$INSTDIR\Game.exe"  ; ... and the game's other files
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "${GAME_KEY}"
  DeleteRegKey /ifempty HKLM "SOFTWARE\Zelqa Games"
!macroend

Section "Install"
  SetOutPath "$INSTDIR"
  File /r "${GAME_FILES}\*.*"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  ; Both programs in one folder: the launcher runs the installer beside it.
  SetOutPath "${LAUNCHER_DIR}"
  File "${ANTICHEAT_FILES}\Launcher.exe"
  File "${ANTICHEAT_FILES}\ZelqaAntiCheat.Installer.exe"

  ; The launcher finds the game's folder by this value.
  WriteRegStr HKLM "${GAME_KEY}" "Install Dir" "$INSTDIR"
  ; Add/Remove Programs, where a player removes the game.
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${GAME_TITLE}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1

  ; ExecWait starts it in $OUTDIR, the launcher's own folder. The setup shows
  ; its own box for a failure, so the launcher gets no -showerrors: one box
  ; per failure, and none in a silent setup.
  ClearErrors
  ExecWait '"${LAUNCHER_DIR}\Launcher.exe" install -title "${GAME_TITLE}" -eactitleId ${LEGACY_TITLE_ID} -log -reportrestart' $0
  ${If} ${Errors}
    StrCpy $1 "Launcher.exe could not be started."
    StrCpy $0 2  ; the code of a stopped setup
  ${Else}
    StrCpy $1 "Zelqa Anti-Cheat could not be installed (error $0)."
  ${EndIf}
  ${Select} $0
  ${Case} 0
    DetailPrint "Zelqa Anti-Cheat is installed."
  ${Case2} 3010 1641
    ; Installed; it runs once Windows has restarted (-reportrestart).
    DetailPrint "Zelqa Anti-Cheat is installed; Windows must restart."
    SetRebootFlag true
    SetErrorLevel $0
  ${CaseElse}
    ; 2: ZelqaAntiCheat.Installer.exe is missing; 160: a mistake in the
    ; command line above; anything else comes from the anticheat's installer
    ; (for example 1603, or 1223 when it was cancelled) or from starting it.
    MessageBox MB_ICONSTOP "$1" /SD IDOK
    SetErrorLevel $0
    !insertmacro RemoveGame
    Abort
  ${EndSelect}
SectionEnd

Function .onInstSuccess
  ${If} ${RebootFlag}
  ${AndIf} ${Cmd} `MessageBox MB_YESNO|MB_ICONQUESTION "Windows must restart to finish installing ${GAME_TITLE}. Restart now?" /SD IDNO IDYES`
    Reboot
  ${EndIf}
FunctionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

Section "Uninstall"
  SetOutPath "${LAUNCHER_DIR}"
  ClearErrors
  ExecWait '"${LAUNCHER_DIR}\Launcher.exe" uninstall -title "${GAME_TITLE}" -log -reportrestart' $0
  ${If} ${Errors}
    StrCpy $1 "Launcher.exe could not be started."
    StrCpy $0 2  ; the code of a stopped uninstall
  ${Else}
    StrCpy $1 "Zelqa Anti-Cheat could not be uninstalled (error $0)."
  ${EndIf}
  ${Select} $0
  ${Case} 0
    DetailPrint "Zelqa Anti-Cheat is uninstalled."
  ${Case2} 3010 1641
    DetailPrint "Zelqa Anti-Cheat is uninstalled; Windows must restart."
    SetRebootFlag true
    SetErrorLevel $0
  ${CaseElse}
    ; The anticheat is still registered for the game, and the launcher in the
    ; game's folder is the way to remove it: the game stays whole, its
    ; registration too, for the next try. A silent uninstall removes nothing;
    ; a player may have the game removed anyway.
    SetErrorLevel $0
    ${IfNot} ${Cmd} `MessageBox MB_YESNO|MB_ICONEXCLAMATION "$1$\r$\nRemove ${GAME_TITLE} anyway?" /SD IDNO IDYES`
      Abort
    ${EndIf}
  ${EndSelect}

  !insertmacro RemoveGame
SectionEnd

Function un.onUninstSuccess
  ${If} ${RebootFlag}
  ${AndIf} ${Cmd} `MessageBox MB_YESNO|MB_ICONQUESTION "Windows must restart to finish removing Zelqa Anti-Cheat. Restart now?" /SD IDNO IDYES`
    Reboot
  ${EndIf}
FunctionEnd
