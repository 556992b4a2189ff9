; The Windows installer of Korvani (make windows), a 64-bit NSIS installer of the same
; program folder as the zip. For all users into %ProgramFiles%\Korvani (the default, also
; of a silent install), or for the current user alone, without administrator rights, into
; %LOCALAPPDATA%\Programs\Korvani. It leaves its mark in the program folder: the program
; then keeps each user's settings in %APPDATA%\Korvani\Korvani.ini, which neither an
; install over it nor the uninstaller touches.
;
;   makensis -DVERSION=1.4.0 -DPUBLISHER=... -DSTAGE=<program folder> -DICON=<.ico>
;            -DMARK=<the mark's file name> -DOUTFILE=<setup.exe> Korvani.nsi
;
; Switches: /S silent; /AllUsers or /CurrentUser; /D=<folder> (last, unquoted).
; The uninstaller: /S silent; the mode it was installed in is on its command line in the
; registry (UninstallString, QuietUninstallString).

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
ManifestSupportedOS all
ManifestDPIAware true

!define PRODUCT Korvani
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define UNINSTALLER "Uninstall.exe"

; Installed for all users where the user may (an administrator), else for the user alone;
; /AllUsers and /CurrentUser choose. An earlier install is found through its registration,
; and an install over it goes to the same folder in the same mode.
!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_INSTALLMODE_INSTDIR ${PRODUCT}
!define MULTIUSER_USE_PROGRAMFILES64
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_VALUENAME InstallLocation
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_VALUENAME InstallLocation
!include MultiUser.nsh
!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh

Name "${PRODUCT}"
OutFile "${OUTFILE}"
BrandingText "${PRODUCT} ${VERSION}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 ProductName "${PRODUCT}"
VIAddVersionKey /LANG=1033 ProductVersion "${VERSION}"
VIAddVersionKey /LANG=1033 CompanyName "${PUBLISHER}"
VIAddVersionKey /LANG=1033 FileDescription "${PRODUCT} ${VERSION} Setup"
VIAddVersionKey /LANG=1033 FileVersion "${VERSION}"
VIAddVersionKey /LANG=1033 LegalCopyright "${PUBLISHER}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\Korvani.exe"
!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE English

; /D= sets the folder before .onInit runs; the mode's default must not replace it.
Var FolderGiven

Function .onInit
    SetRegView 64
    StrCpy $FolderGiven $INSTDIR
    !insertmacro MULTIUSER_INIT
    ${If} $FolderGiven != ""
        StrCpy $INSTDIR $FolderGiven
    ${EndIf}
FunctionEnd

Function un.onInit
    SetRegView 64
    !insertmacro MULTIUSER_UNINIT
FunctionEnd

Section
    SetOutPath "$INSTDIR"
    File "${STAGE}/Korvani.exe"
    File "${STAGE}/Korvani.ini"
    SetOutPath "$INSTDIR\language"
    File "${STAGE}/language/*.ini"
    SetOutPath "$INSTDIR"
    ; The mark: run from this folder, the program keeps each user's settings apart.
    FileOpen $1 "$INSTDIR\${MARK}" w
    FileWrite $1 "${PRODUCT} ${VERSION}, installed for $MultiUser.InstallMode$\r$\n"
    FileClose $1
    WriteUninstaller "$INSTDIR\${UNINSTALLER}"

    CreateShortCut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\Korvani.exe" "" \
        "$INSTDIR\Korvani.exe" 0

    ; Apps & features (HKLM for all users, HKCU for the user alone: SHCTX follows the mode).
    ${GetSize} "$INSTDIR" "/S=0K" $2 $3 $4
    WriteRegStr SHCTX "${UNINSTALL_KEY}" DisplayName "${PRODUCT}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" DisplayVersion "${VERSION}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" Publisher "${PUBLISHER}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" DisplayIcon "$INSTDIR\Korvani.exe,0"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" InstallLocation "$INSTDIR"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" UninstallString \
        '"$INSTDIR\${UNINSTALLER}" /$MultiUser.InstallMode'
    WriteRegStr SHCTX "${UNINSTALL_KEY}" QuietUninstallString \
        '"$INSTDIR\${UNINSTALLER}" /$MultiUser.InstallMode /S'
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" EstimatedSize $2
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" NoModify 1
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" NoRepair 1
SectionEnd

; Removes what the installer put there, by name; a file the user added keeps its folder.
; Each user's settings (%APPDATA%\Korvani) are that user's data and stay.
Section Uninstall
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    DeleteRegKey SHCTX "${UNINSTALL_KEY}"
    Delete "$INSTDIR\Korvani.exe"
    Delete "$INSTDIR\Korvani.ini"
    Delete "$INSTDIR\language\Korvani_*.ini"
    Delete "$INSTDIR\${MARK}"
    Delete "$INSTDIR\${UNINSTALLER}"
    RMDir "$INSTDIR\language"
    RMDir "$INSTDIR"
SectionEnd
