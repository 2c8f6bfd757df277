; The Windows installer of Kestrelwick, made by tools/windows/build-release.sh with Debian's
; makensis. It takes from the command line:
;   /DVERSION=3.3.0           the program's version (project(VERSION) of CMakeLists.txt)
;   /DSTAGE=<folder>          the program's files as they are to be installed
;   /DFILES=<file.nsh>        File commands for every file of STAGE (made by the build script)
;   /DUNFILES=<file.nsh>      Delete/RMDir commands for the same files, deepest first
;   /DOUTFILE=<file.exe>      the installer to write
;
; An administrator installs for all users into Program Files, anybody else for themselves into
; %LOCALAPPDATA%\Programs (/AllUsers or /CurrentUser choose). /S installs and uninstalls
; silently. The uninstaller removes exactly the files the installer wrote, and never the
; user's settings and logs in %APPDATA%\Kestrelwick and %LOCALAPPDATA%\Kestrelwick.

; A 64-bit installer: the program is 64-bit only, and 64-bit Windows (and Wine) runs it
; without the 32-bit subsystem.
Target amd64-unicode
ManifestDPIAware true
; zlib: the LZMA stub of the 64-bit installer fails its own integrity check when it starts.
SetCompressor zlib

!define PRODUCT "Kestrelwick"
!define PUBLISHER "Quillmere 软件工作室"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"

!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_INSTALLMODE_INSTDIR "${PRODUCT}"
!define MULTIUSER_USE_PROGRAMFILES64
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_VALUENAME "InstallMode"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_VALUENAME "InstallLocation"
!include MultiUser.nsh
!include MUI2.nsh
!include FileFunc.nsh

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=2052 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=2052 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=2052 "FileDescription" "${PRODUCT} ${VERSION} 安装程序"
VIAddVersionKey /LANG=2052 "LegalCopyright" "${PUBLISHER}"

!define MUI_ICON "${STAGE}/kestrelwick.ico"
!define MUI_UNICON "${STAGE}/kestrelwick.ico"
!define MUI_FINISHPAGE_RUN "$INSTDIR\kestrelwick.exe"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"
!insertmacro MUI_LANGUAGE "English"

Function .onInit
    SetRegView 64
    !insertmacro MULTIUSER_INIT
FunctionEnd

Function un.onInit
    SetRegView 64
    !insertmacro MULTIUSER_UNINIT
FunctionEnd

Section "${PRODUCT}" SecProgram
    SectionIn RO
    SetOutPath "$INSTDIR"
    !include "${FILES}"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    ; Start menu: the program, its guide, and the uninstaller.
    CreateDirectory "$SMPROGRAMS\${PRODUCT}"
    CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk" "$INSTDIR\kestrelwick.exe" "" "$INSTDIR\kestrelwick.ico"
    CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT} 使用说明.lnk" "$INSTDIR\Kestrelwick.chm"
    CreateShortcut "$SMPROGRAMS\${PRODUCT}\卸载 ${PRODUCT}.lnk" "$INSTDIR\uninstall.exe"

    ; Apps & features.
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} ${VERSION}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\kestrelwick.exe"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallMode" "$MultiUser.InstallMode"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode'
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode /S'
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    IntFmt $0 "0x%08X" $0
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

Section "Uninstall"
    Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk"
    Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT} 使用说明.lnk"
    Delete "$SMPROGRAMS\${PRODUCT}\卸载 ${PRODUCT}.lnk"
    RMDir "$SMPROGRAMS\${PRODUCT}"
    !include "${UNFILES}"
    Delete "$INSTDIR\uninstall.exe"
    ; Only when nothing of the user's is left in it.
    RMDir "$INSTDIR"
    DeleteRegKey SHCTX "${UNINSTALL_KEY}"
SectionEnd
