; The Windows installer: makensis -DSTAGE=<folder> -DVERSION=<x.y.z> -DOUTFILE=<setup.exe> tallyhour.nsi
; STAGE holds what goes into the program folder, laid out as installed (the build's
; tallyhour-setup target makes it). The user's data in %APPDATA%\Tallyhour is never touched, by either direction.
; A 64-bit installer for the 64-bit program: it sees the 64-bit Program Files and registry as
; they are, and needs no 32-bit subsystem (Wine without wine32 runs it).
Target amd64-unicode
SetCompressor /SOLID lzma
!include "MUI2.nsh"
!include "FileFunc.nsh"

!define PRODUCT "Tallyhour"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
; The program's own name and icon on every page, not the installer maker's (makensis reads
; paths from the script's own folder).
BrandingText "${PRODUCT} ${VERSION}"
!define MUI_ICON "../../resources/icons/tallyhour.ico"
!define MUI_UNICON "../../resources/icons/tallyhour.ico"
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} setup"
VIAddVersionKey "LegalCopyright" "The ${PRODUCT} developers"

; What comes with the program and under which licences (the texts in full beside it).
!insertmacro MUI_PAGE_LICENSE "${STAGE}\Licenses\README.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
; No "run now" box: started from here the program would run elevated, as the installer does, and
; its files in the user's data folder would then be the administrators' to write. It starts at
; the next logon, or from the Start menu; after an update over a running copy, through the shell.
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Asks the copies that run from the program folder to save and end (the program looks for the
; flag beside it about once a second), and waits up to 30 s for the last of them: while one runs,
; Windows refuses to open its executable for writing, whoever's session it runs in.
; $RunningBefore tells the update that a copy ran, so it starts the program again afterwards.
Var RunningBefore
!macro RunningCopiesEnd un
Function ${un}RunningCopiesEnd
    StrCpy $RunningBefore 0
    IfFileExists "$INSTDIR\tallyhour.exe" 0 done
    ClearErrors
    FileOpen $0 "$INSTDIR\tallyhour.exe" a
    IfErrors 0 ended
    StrCpy $RunningBefore 1
    FileOpen $1 "$INSTDIR\uninstall.flag" w
    FileClose $1
    StrCpy $2 0
    wait:
        Sleep 500
        ClearErrors
        FileOpen $0 "$INSTDIR\tallyhour.exe" a
        IfErrors 0 ended
        IntOp $2 $2 + 1
        IntCmp $2 60 0 wait 0
    DetailPrint "A running ${PRODUCT} did not end within 30 seconds."
    Goto done
    ended:
    FileClose $0
    done:
    Delete "$INSTDIR\uninstall.flag"
FunctionEnd
!macroend
!insertmacro RunningCopiesEnd ""
!insertmacro RunningCopiesEnd "un."

Section "Install"
    SetShellVarContext all
    ; An update replaces the files of a running copy: it ends first, its settings saved.
    Call RunningCopiesEnd
    SetOutPath "$INSTDIR"
    File /r "${STAGE}\*.*"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\tallyhour.exe"
    ; Start at logon, for the user who installs.
    WriteRegStr HKCU "${RUN_KEY}" "${PRODUCT}" '"$INSTDIR\tallyhour.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The ${PRODUCT} developers"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\tallyhour.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    ; The size the Apps list shows, in KiB.
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    IntFmt $0 "0x%08X" $0
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" "$0"
    ; An update ended a running copy: without it nothing is limited until the next logon. The
    ; program starts again through the desktop's shell, which runs it as the signed-in user with
    ; their own rights, never elevated as this installer is (its data files stay the user's).
    StrCmp $RunningBefore 1 0 restarted
    DetailPrint "Starting ${PRODUCT} again"
    Exec '"$WINDIR\explorer.exe" "$INSTDIR\tallyhour.exe"'
    restarted:
SectionEnd

Section "Uninstall"
    SetShellVarContext all
    Call un.RunningCopiesEnd
    ; Only what the installer put there; the data folder in %APPDATA% stays.
    !include "${STAGE}\..\uninstall-files.nsh"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    DeleteRegValue HKCU "${RUN_KEY}" "${PRODUCT}"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
