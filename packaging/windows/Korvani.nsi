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
;
; The silent uninstall registered for deployment tools (QuietUninstallString) runs the
; uninstaller where it is ("_?=<program folder>", last and unquoted, as NSIS wants it), so
; the command ends when the uninstall has ended, with its exit code. Started without it,
; NSIS's uninstaller copies itself into %TEMP%, starts the copy and ends at once with exit
; code 0 before a line of this script has run (in its start-up code, not in un.onInit):
; whatever the copy then does, a deployment tool would see success. Running where it is,
; the uninstaller cannot remove its own file; once everything else is gone it leaves that
; file and the emptied folder to a copy of itself in %TEMP%, which removes them as soon as
; the uninstaller has ended (RemoveUninstallerLater).
;
; Neither changes anything while Korvani runs: the program holds a named mutex as long as
; it runs (src/platform/RunningMark_win.cpp), and Korvani.exe, in use, can be neither
; replaced nor removed. Asked to close it (Retry/Cancel), or silently, they stop with
;   exit code 3  Korvani runs (its mutex), nothing changed;
;   exit code 4  Korvani.exe in the program folder is in use (a copy running in another
;                user's session, say), nothing changed.
; The installer stops with
;   exit code 5  the program folder takes no new file (the mark and the uninstaller
;                cannot be written there: its access rights, a read-only medium, a folder
;                at one of those names), nothing changed and nothing registered.
; The uninstaller removes the program first and the registration and shortcut last: when
; it stops, Apps & features still offers the uninstall. (1: cancelled by the user, 2: any
; other stop, as NSIS has them.)
;
; Installed into the folder of an unpacked zip (a Korvani.ini but no mark), the installer
; moves that Korvani.ini, the user's list, into the user's %APPDATA%\Korvani\Korvani.ini;
; when the user has one there already, the list goes beside it under a name of its own,
; unless that copy or one kept so from an earlier zip copy holds the same bytes.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
ManifestSupportedOS all
ManifestDPIAware true

!define PRODUCT Korvani
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define UNINSTALLER "Uninstall.exe"
; Korvani's mark while it runs, in the session of the user who runs it (Local\: the
; installer, elevated or not, runs in that session too); the same name as in
; src/platform/RunningMark_win.cpp.
!define RUNNING_MARK "Local\Korvani.Running"
!define EXIT_RUNNING 3
!define EXIT_IN_USE 4
!define EXIT_NO_NEW_FILE 5

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
    ${un.GetParameters} $0
    ClearErrors
    ${un.GetOptions} $0 /RemoveUninstaller $1
    ${IfNot} ${Errors}
        Call un.RemoveUninstaller
        Quit
    ${EndIf}
    SetRegView 64
    !insertmacro MULTIUSER_UNINIT
FunctionEnd

; Waits while Korvani runs: Retry or Cancel, silently Cancel, which stops the install or
; the uninstall with exit code 3 before it changed anything. The mutex of a copy another
; user runs (ERROR_ACCESS_DENIED, 5: there, but not ours to open) counts as well.
!macro WaitWhileKorvaniRuns
    korvani_runs:
    System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "${RUNNING_MARK}") p.r0 ?e'
    Pop $1
    ${If} $0 P<> 0
    ${OrIf} $1 = 5
        System::Call 'kernel32::CloseHandle(p r0)'
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "${MSG_RUNNING}" /SD IDCANCEL \
            IDRETRY korvani_runs
        SetErrorLevel ${EXIT_RUNNING}
        Abort "${PRODUCT} is running."
    ${EndIf}
!macroend
!define MSG_RUNNING "${PRODUCT} is running. Close it, then choose Retry."
!define MSG_IN_USE "$INSTDIR\Korvani.exe is in use. Close every copy of ${PRODUCT}, \
    then choose Retry."

; Whether $INSTDIR takes the files an install adds there, the mark and the uninstaller:
; each name is opened for writing as it stands (an earlier install's file) or made and
; removed again; a folder made for the test goes again. A folder the installer may not add
; files to, or a name taken by what cannot be replaced, stops the install here (exit code
; 5), before anything changed: the list of a zip copy stays where it is.
!macro FolderTakesFile NAME
    ${If} $R0 == ""
        ClearErrors
        ${If} ${FileExists} "$INSTDIR\${NAME}"
            FileOpen $0 "$INSTDIR\${NAME}" a
            ${If} ${Errors} ; (the test clears the flag)
                StrCpy $R0 "$INSTDIR\${NAME}"
            ${Else}
                FileClose $0
            ${EndIf}
        ${Else}
            FileOpen $0 "$INSTDIR\${NAME}" w
            ${If} ${Errors}
                StrCpy $R0 "$INSTDIR\${NAME}"
            ${Else}
                FileClose $0
                Delete "$INSTDIR\${NAME}"
            ${EndIf}
        ${EndIf}
    ${EndIf}
!macroend
!define MSG_NO_NEW_FILE "${PRODUCT} cannot be installed into $INSTDIR: $R0 could not be \
    written there. Nothing was installed and nothing changed; choose a folder you may \
    write to."
Function CheckFolderTakesFiles
    StrCpy $R0 ""
    StrCpy $R1 ""
    ${IfNot} ${FileExists} "$INSTDIR\*.*"
        CreateDirectory "$INSTDIR"
        StrCpy $R1 made
    ${EndIf}
    !insertmacro FolderTakesFile "${MARK}"
    !insertmacro FolderTakesFile "${UNINSTALLER}"
    ${If} $R0 != ""
        ${If} $R1 == made
            RMDir "$INSTDIR"
        ${EndIf}
        MessageBox MB_OK|MB_ICONSTOP "${MSG_NO_NEW_FILE}" /SD IDOK
        SetErrorLevel ${EXIT_NO_NEW_FILE}
        Abort "$R0 could not be written."
    ${EndIf}
FunctionEnd

; Sets $R0 to 1 when the files $R1 and $R2 hold the same bytes, else to 0 (also when one
; cannot be read). A suffix list is small: byte by byte is quick enough.
Function SameBytes
    StrCpy $R0 0
    ClearErrors
    FileOpen $R3 "$R1" r
    ${If} ${Errors}
        Return
    ${EndIf}
    FileOpen $R4 "$R2" r
    ${If} ${Errors}
        FileClose $R3
        Return
    ${EndIf}
    FileSeek $R3 0 END $R5
    FileSeek $R4 0 END $R6
    ${If} $R5 = $R6
        FileSeek $R3 0 SET
        FileSeek $R4 0 SET
        StrCpy $R0 1
        ${Do}
            ClearErrors
            FileReadByte $R3 $R7
            ${If} ${Errors} ; the end of both
                ${Break}
            ${EndIf}
            FileReadByte $R4 $R8
            ${If} ${Errors}
            ${OrIf} $R7 <> $R8
                StrCpy $R0 0
                ${Break}
            ${EndIf}
        ${Loop}
    ${EndIf}
    FileClose $R3
    FileClose $R4
FunctionEnd

; The Korvani.ini of a zip copy unpacked into $INSTDIR (no installer's mark there) holds the
; user's list: once installed, the program reads the user's own copy in %APPDATA% instead.
; The list moves there, or beside an own copy the user has already; it is never deleted.
Function KeepListOfZipCopy
    ${IfNot} ${FileExists} "$INSTDIR\Korvani.ini"
    ${OrIf} ${FileExists} "$INSTDIR\${MARK}"
        Return
    ${EndIf}
    SetShellVarContext current ; the user's %APPDATA%, in an install for all users as well
    StrCpy $0 "$APPDATA\${PRODUCT}"
    ${If} $MultiUser.InstallMode == AllUsers
        SetShellVarContext all
    ${EndIf}
    ; Kept already (the zip unpacked again over the same list): the user's own copy, or one
    ; kept beside it from an earlier zip copy, holds the same bytes. Nothing is added; the
    ; installed Korvani.ini replaces the folder's.
    StrCpy $R1 "$INSTDIR\Korvani.ini"
    StrCpy $R2 "$0\Korvani.ini"
    Call SameBytes
    ${If} $R0 = 1
        DetailPrint "Your list Korvani.ini is in $0 already."
        Return
    ${EndIf}
    FindFirst $3 $4 "$0\Korvani (zip copy *).ini"
    ${DoWhile} $4 != ""
        StrCpy $R2 "$0\$4"
        Call SameBytes
        ${If} $R0 = 1
            FindClose $3
            DetailPrint "Your list Korvani.ini is in $0 already, as $4."
            Return
        ${EndIf}
        FindNext $3 $4
    ${Loop}
    FindClose $3
    StrCpy $1 "Korvani.ini"
    StrCpy $2 1
    ${While} ${FileExists} "$0\$1"
        StrCpy $1 "Korvani (zip copy $2).ini"
        IntOp $2 $2 + 1
    ${EndWhile}
    CreateDirectory "$0"
    ClearErrors
    Rename "$INSTDIR\Korvani.ini" "$0\$1"
    ${If} ${Errors} ; on another drive: a copy, which the installed Korvani.ini replaces
        ClearErrors
        CopyFiles /SILENT "$INSTDIR\Korvani.ini" "$0\$1"
        ${If} ${Errors}
            MessageBox MB_OK|MB_ICONSTOP "Your list $INSTDIR\Korvani.ini could not be \
                copied to $0\$1. Nothing was installed." /SD IDOK
            Abort "Your list could not be copied to $0\$1."
        ${EndIf}
    ${EndIf}
    ${If} $1 == "Korvani.ini"
        DetailPrint "Your list Korvani.ini is now in $0."
    ${Else}
        MessageBox MB_OK|MB_ICONINFORMATION "You have a list of your own in $0 already: \
            the list of this folder is kept beside it, as $1." /SD IDOK
    ${EndIf}
FunctionEnd

Section
    !insertmacro WaitWhileKorvaniRuns
    ; In use though no mutex shows it (a copy in another user's session): nothing changes.
    ${If} ${FileExists} "$INSTDIR\Korvani.exe"
        korvani_in_use:
        ClearErrors
        FileOpen $0 "$INSTDIR\Korvani.exe" a
        ${If} ${Errors}
            MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "${MSG_IN_USE}" /SD IDCANCEL \
                IDRETRY korvani_in_use
            SetErrorLevel ${EXIT_IN_USE}
            Abort "$INSTDIR\Korvani.exe is in use."
        ${EndIf}
        FileClose $0
    ${EndIf}
    Call CheckFolderTakesFiles
    Call KeepListOfZipCopy

    SetOutPath "$INSTDIR"
    File "${STAGE}/Korvani.exe"
    File "${STAGE}/Korvani.ini"
    SetOutPath "$INSTDIR\language"
    File "${STAGE}/language/*.ini"
    SetOutPath "$INSTDIR"
    ; The mark: run from this folder, the program keeps each user's settings apart. Should
    ; it or the uninstaller fail after all (the folder changed since the test), nothing is
    ; registered: no entry in Apps & features names an uninstaller that is not there.
    StrCpy $R0 ""
    ClearErrors
    FileOpen $1 "$INSTDIR\${MARK}" w
    FileWrite $1 "${PRODUCT} ${VERSION}, installed for $MultiUser.InstallMode$\r$\n"
    FileClose $1
    ${If} ${Errors}
        StrCpy $R0 "$INSTDIR\${MARK}"
    ${Else}
        WriteUninstaller "$INSTDIR\${UNINSTALLER}"
        ${If} ${Errors}
            StrCpy $R0 "$INSTDIR\${UNINSTALLER}"
        ${EndIf}
    ${EndIf}
    ${If} $R0 != ""
        MessageBox MB_OK|MB_ICONSTOP "${MSG_NO_NEW_FILE}" /SD IDOK
        SetErrorLevel ${EXIT_NO_NEW_FILE}
        Abort "$R0 could not be written."
    ${EndIf}

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
    ; In place: the command's exit code is the uninstall's (see the top of this file).
    WriteRegStr SHCTX "${UNINSTALL_KEY}" QuietUninstallString \
        '"$INSTDIR\${UNINSTALLER}" /$MultiUser.InstallMode /S _?=$INSTDIR'
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" EstimatedSize $2
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" NoModify 1
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" NoRepair 1
SectionEnd

; Run where it is (_?=), the uninstaller cannot remove its own file (nor, run from %TEMP%,
; the file of the uninstaller that started it and has not ended yet): a copy of it in a
; folder of its own in %TEMP%, started with /RemoveUninstaller, waits until that file can
; be removed (30 s at most), removes it and the emptied program folder; it cannot remove its
; own file either, and leaves it to the next restart, as NSIS does with its copy.
Function un.RemoveUninstallerLater
    GetTempFileName $0
    Delete "$0"
    CreateDirectory "$0"
    ClearErrors
    CopyFiles /SILENT /FILESONLY "$EXEPATH" "$0\${UNINSTALLER}"
    ${IfNot} ${Errors}
        SetOutPath "$0" ; the copy's working folder: not the one it removes
        Exec '"$0\${UNINSTALLER}" /RemoveUninstaller /S _?=$INSTDIR'
    ${EndIf}
FunctionEnd
Function un.RemoveUninstaller
    StrCpy $1 0
    ${Do}
        Delete "$INSTDIR\${UNINSTALLER}"
        ${IfNot} ${FileExists} "$INSTDIR\${UNINSTALLER}"
        ${OrIf} $1 >= 300 ; 30 s for the uninstaller to end
            ${Break}
        ${EndIf}
        Sleep 100
        IntOp $1 $1 + 1
    ${Loop}
    RMDir "$INSTDIR"
    Delete /REBOOTOK "$EXEPATH"
    RMDir /REBOOTOK "$EXEDIR"
FunctionEnd

; Removes what the installer put there, by name; a file the user added keeps its folder.
; Each user's settings (%APPDATA%\Korvani) are that user's data and stay. The program goes
; first: while Korvani.exe stays, so do the shortcut and the registration.
Section Uninstall
    !insertmacro WaitWhileKorvaniRuns
    korvani_in_use:
    Delete "$INSTDIR\Korvani.exe"
    ${If} ${FileExists} "$INSTDIR\Korvani.exe"
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "${MSG_IN_USE}" /SD IDCANCEL \
            IDRETRY korvani_in_use
        SetErrorLevel ${EXIT_IN_USE}
        Abort "$INSTDIR\Korvani.exe is in use."
    ${EndIf}
    Delete "$INSTDIR\Korvani.ini"
    Delete "$INSTDIR\language\Korvani_*.ini"
    Delete "$INSTDIR\${MARK}"
    RMDir "$INSTDIR\language"
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    DeleteRegKey SHCTX "${UNINSTALL_KEY}"
    ${If} $EXEDIR != $INSTDIR ; a copy in %TEMP%: started without _?=
        Delete "$INSTDIR\${UNINSTALLER}"
    ${EndIf}
    ${If} ${FileExists} "$INSTDIR\${UNINSTALLER}"
        Call un.RemoveUninstallerLater
    ${Else}
        RMDir "$INSTDIR"
    ${EndIf}
SectionEnd
