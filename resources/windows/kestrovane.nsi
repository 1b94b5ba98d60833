; Kestrovane's installer: per machine (Program Files, for every user) or per user (no administrator
; rights needed). makensis gets VERSION, ICON, STAGE (the folder to install, as the portable zip holds
; it), FILES and UNFILES (the File and Delete lines of exactly that folder) and OUTFILE.
; The programs are 64-bit, and so is the installer (it runs where they run).
Target amd64-unicode
SetCompressor /SOLID lzma

!define APP "Kestrovane"
!define UNINSTKEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Kestrovane"
!define ORXCLASS "Kestrovane.orx"

!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_USE_PROGRAMFILES64
!define MULTIUSER_INSTALLMODE_INSTDIR "${APP}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY "${UNINSTKEY}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_VALUENAME "InstallLocation"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_KEY "${UNINSTKEY}"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_VALUENAME "InstallMode"
!include MultiUser.nsh
!include MUI2.nsh

Name "${APP} ${VERSION}"
OutFile "${OUTFILE}"
BrandingText "${APP} ${VERSION}"
!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"

!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\kestrovane.exe"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Russian"

Function .onInit
    !insertmacro MULTIUSER_INIT
FunctionEnd

Function un.onInit
    !insertmacro MULTIUSER_UNINIT
FunctionEnd

Section "Kestrovane"
    SetOutPath "$INSTDIR"
    !include "${FILES}"
    WriteUninstaller "$INSTDIR\Uninstall.exe"

    CreateDirectory "$SMPROGRAMS\${APP}"
    CreateShortcut "$SMPROGRAMS\${APP}\Kestrovane.lnk" "$INSTDIR\kestrovane.exe"
    CreateShortcut "$SMPROGRAMS\${APP}\Ormix.lnk" "$INSTDIR\ormix.exe"
    CreateShortcut "$SMPROGRAMS\${APP}\Kestrovane (демонстрация).lnk" "$INSTDIR\kestrovane.exe" "--demo"

    ; *.orx opens in the viewer.
    WriteRegStr SHCTX "Software\Classes\.orx" "" "${ORXCLASS}"
    WriteRegStr SHCTX "Software\Classes\${ORXCLASS}" "" "Файл измерений Kestrovane"
    WriteRegStr SHCTX "Software\Classes\${ORXCLASS}\DefaultIcon" "" "$INSTDIR\ormix.exe,0"
    WriteRegStr SHCTX "Software\Classes\${ORXCLASS}\shell\open\command" "" '"$INSTDIR\ormix.exe" "%1"'
    System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'

    ; "Programs and Features".
    WriteRegStr SHCTX "${UNINSTKEY}" "DisplayName" "${APP}"
    WriteRegStr SHCTX "${UNINSTKEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr SHCTX "${UNINSTKEY}" "Publisher" "Kestrovane"
    WriteRegStr SHCTX "${UNINSTKEY}" "DisplayIcon" "$INSTDIR\kestrovane.exe,0"
    WriteRegStr SHCTX "${UNINSTKEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr SHCTX "${UNINSTKEY}" "InstallMode" "$MultiUser.InstallMode"
    WriteRegStr SHCTX "${UNINSTKEY}" "UninstallString" '"$INSTDIR\Uninstall.exe" /$MultiUser.InstallMode'
    WriteRegStr SHCTX "${UNINSTKEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /$MultiUser.InstallMode /S'
    WriteRegDWORD SHCTX "${UNINSTKEY}" "NoModify" 1
    WriteRegDWORD SHCTX "${UNINSTKEY}" "NoRepair" 1
SectionEnd

; Only what the installer put there goes: the user's settings, files and archive live elsewhere and
; stay, and so does anything else the user kept in the program's folder.
Section "Uninstall"
    !include "${UNFILES}"
    Delete "$INSTDIR\Uninstall.exe"
    RMDir "$INSTDIR"

    Delete "$SMPROGRAMS\${APP}\Kestrovane.lnk"
    Delete "$SMPROGRAMS\${APP}\Ormix.lnk"
    Delete "$SMPROGRAMS\${APP}\Kestrovane (демонстрация).lnk"
    RMDir "$SMPROGRAMS\${APP}"

    ReadRegStr $0 SHCTX "Software\Classes\.orx" ""
    StrCmp $0 "${ORXCLASS}" 0 +2
    DeleteRegKey SHCTX "Software\Classes\.orx"
    DeleteRegKey SHCTX "Software\Classes\${ORXCLASS}"
    System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
    DeleteRegKey SHCTX "${UNINSTKEY}"
SectionEnd
