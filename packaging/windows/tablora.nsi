; The Windows installer, made by scripts/package windows with Debian's makensis:
;   makensis -DVERSION=1.2.3 -DSTAGE=dir -DOUTFILE=setup.exe -DWITH_WINDOW=0|1
;            -DINSTALL_FILES=install.nsh -DUNINSTALL_FILES=uninstall.nsh tablora.nsi
; STAGE holds the files to install (the programs, their DLLs, README.txt); the two include
; files name each of them, so the uninstaller removes what was installed and nothing else.
; Per machine (Program Files\Tablora) for an administrator, per user (the user's
; Programs folder) otherwise or when chosen; silent with /S, the mode with /AllUsers or
; /CurrentUser. The engine configuration in %APPDATA%\Tablora is the user's and stays.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tablora"

!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_USE_PROGRAMFILES64
!define MULTIUSER_INSTALLMODE_INSTDIR "Tablora"
!include MultiUser.nsh
!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh

Name "Tablora ${VERSION}"
OutFile "${OUTFILE}"
BrandingText "Tablora ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

!if ${WITH_WINDOW} == 1
  !define MUI_WELCOMEPAGE_TEXT "$(WelcomeWithWindow)"
  !define MUI_FINISHPAGE_RUN "$INSTDIR\tablora.exe"
!else
  !define MUI_WELCOMEPAGE_TEXT "$(WelcomeToolsOnly)"
!endif
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\README.txt"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; The window speaks Slovak; English for a system in any other language.
!insertmacro MUI_LANGUAGE "Slovak"
!insertmacro MUI_LANGUAGE "English"

LangString WelcomeWithWindow ${LANG_SLOVAK} "Nainštaluje sa Tablora ${VERSION}: okno programu (zálohovanie, oprava a obnova databázy tabuliek Paradox) a nástroje príkazového riadka tablora-cli, pdx a tablora-sample.$\r$\n$\r$\nPred opravou databázy zastavte program, ktorý s ňou pracuje."
LangString WelcomeWithWindow ${LANG_ENGLISH} "This installs Tablora ${VERSION}: the program's window (backup, repair and restore of a database of Paradox tables) and the command-line tools tablora-cli, pdx and tablora-sample.$\r$\n$\r$\nStop the application that works with the database before any repair."
LangString WelcomeToolsOnly ${LANG_SLOVAK} "Nainštalujú sa nástroje príkazového riadka Tabloru ${VERSION}: tablora-cli, pdx a tablora-sample. Okno programu (tablora.exe) tento balík neobsahuje.$\r$\n$\r$\nPred opravou databázy zastavte program, ktorý s ňou pracuje."
LangString WelcomeToolsOnly ${LANG_ENGLISH} "This installs the command-line tools of Tablora ${VERSION}: tablora-cli, pdx and tablora-sample. This package does not hold the program's window (tablora.exe).$\r$\n$\r$\nStop the application that works with the database before any repair."
LangString ToolsOnlyNote ${LANG_SLOVAK} "Tento balík obsahuje iba nástroje príkazového riadka, nie okno programu."
LangString ToolsOnlyNote ${LANG_ENGLISH} "This package holds the command-line tools only, not the program's window."
LangString CommandPrompt ${LANG_SLOVAK} "Tablora (príkazový riadok)"
LangString CommandPrompt ${LANG_ENGLISH} "Tablora (command prompt)"
LangString FolderKept ${LANG_SLOVAK} "Priečinok $INSTDIR zostal: sú v ňom súbory, ktoré inštalátor nenainštaloval (napríklad zálohy)."
LangString FolderKept ${LANG_ENGLISH} "The folder $INSTDIR stays: it holds files the installer did not install (backups, for example)."

Function .onInit
  SetRegView 64
  !insertmacro MULTIUSER_INIT
FunctionEnd

Function un.onInit
  SetRegView 64
  !insertmacro MULTIUSER_UNINIT
FunctionEnd

Section
  SetOutPath "$INSTDIR"
  !include "${INSTALL_FILES}"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"

!if ${WITH_WINDOW} == 1
  CreateShortcut "$SMPROGRAMS\Tablora.lnk" "$INSTDIR\tablora.exe"
!else
  DetailPrint "$(ToolsOnlyNote)"
  ; A command prompt in the program's folder, which starts with the tools' usage.
  CreateShortcut "$SMPROGRAMS\$(CommandPrompt).lnk" "$SYSDIR\cmd.exe" '/K "cd /d "$INSTDIR" && tablora-cli.exe --help"'
!endif

  ; The entry in Windows' list of programs: per machine or per user, as installed.
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "Tablora"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "Tablora"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
!if ${WITH_WINDOW} == 1
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\tablora.exe"
!endif
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section Uninstall
  !include "${UNINSTALL_FILES}"
  Delete "$INSTDIR\uninstall.exe"
!if ${WITH_WINDOW} == 1
  Delete "$SMPROGRAMS\Tablora.lnk"
!else
  ; Named in the language of the installation, which may not be today's.
  Delete "$SMPROGRAMS\Tablora (príkazový riadok).lnk"
  Delete "$SMPROGRAMS\Tablora (command prompt).lnk"
!endif
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  ; Only an empty folder goes: what the program or the user put there (a backup beside the
  ; program, say) stays, and so does the folder.
  ClearErrors
  RMDir "$INSTDIR"
  ${If} ${Errors}
    DetailPrint "$(FolderKept)"
  ${EndIf}
SectionEnd
