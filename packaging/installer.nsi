; Per-user setup of the tray agent: no elevation, Apps & features entry,
; in-place upgrade that first ends a running agent the way its own Exit command does.
;   Silent switches: /S, /AUTOSTART=0 or /AUTOSTART=1 (Start with Windows; without it a first
;   install turns it on and an upgrade keeps the user's choice), /D=<folder> (last).
; Built by make_installer.sh, which passes VERSION, ART_DIR (icons and artwork drawn by the
; build), GEN_DIR (the generated file lists), PRODUCT_NSH, OUT_FILE, LONGEST_FILE_PATH,
; STAGED_SIZE_KB, MANIFEST, RUN_CHECK (the run check program) and, when signing, SIGN_CMD.
Unicode true
Target amd64-unicode
RequestExecutionLevel user
SetCompressor /SOLID lzma
; Drawn at the monitor's DPI: NSIS's pages are dialogs, which Windows 10 1703 and later
; rescale by themselves under PerMonitorV2; older systems get the system DPI (dpiAware).
ManifestDPIAware true
ManifestDPIAwareness "PerMonitorV2,System"
ManifestSupportedOS Win7 Win8 Win8.1 Win10

!include MUI2.nsh
!include LogicLib.nsh
!include TextFunc.nsh
!include FileFunc.nsh
!include StrFunc.nsh
${StrStr}

; ---- Names the agent defines, generated from the product's one definition ----------
!include "${PRODUCT_NSH}"
!define UNINSTALLER "uninstall.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define SHORTCUT "$SMPROGRAMS\${PRODUCT}.lnk"
!define SYNCHRONIZE 0x00100000
!define WAIT_OBJECT_0 0
; Exit code of a setup or uninstall that stopped before changing anything.
!define EXIT_FAILED 2
!define ERROR_ALREADY_EXISTS 183
; Silent choice of Start with Windows.
!define AUTOSTART_SWITCH "/AUTOSTART="

; The agent builds its language files' paths in APP_PATH_SIZE bytes, with codes of up to
; LANG_CODE_SIZE - 1 characters and LANG_FILE_EXTRA more after the folder. Every installed
; file must fit as well.
!define /math LANG_FILE_PATH ${LANG_CODE_SIZE} + ${LANG_FILE_EXTRA}
!define /redef /math LANG_FILE_PATH ${LANG_FILE_PATH} - 1
!if ${LONGEST_FILE_PATH} > ${LANG_FILE_PATH}
    !define LONGEST_PATH ${LONGEST_FILE_PATH}
!else
    !define LONGEST_PATH ${LANG_FILE_PATH}
!endif
!define /math MAX_FOLDER_BYTES ${APP_PATH_SIZE} - ${LONGEST_PATH}
!define /redef /math MAX_FOLDER_BYTES ${MAX_FOLDER_BYTES} - 1

Name "${PRODUCT}"
OutFile "${OUT_FILE}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
; An upgrade goes where the agent already is, not into a second installation.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${PUBLISHER}"

!ifdef SIGN_CMD
    !uninstfinalize '"${SIGN_CMD}" "%1"' = 0
    !finalize '"${SIGN_CMD}" "%1"' = 0
!endif

Var StoppedAgent       ; 1 when setup ended a running agent (silent setup starts it again)
Var InstalledVersion   ; version of the agent in the folder, "" on a first install
Var StartWin           ; Start with Windows as this setup will write it: 0 or 1
Var LangPageTitle      ; texts of the pages, chosen when they are shown
Var LangPageText
Var WelcomeText
Var ConfirmText

; ---- Pages ----------------------------------------------------------------------
!define MUI_ICON "${ART_DIR}/connected.ico"
!define MUI_UNICON "${ART_DIR}/connected.ico"
!define MUI_WELCOMEFINISHPAGE_BITMAP "${ART_DIR}/setup-welcome.bmp"
!define MUI_ABORTWARNING
!define MUI_LANGDLL_ALWAYSSHOW
!define MUI_LANGDLL_REGISTRY_ROOT HKCU
!define MUI_LANGDLL_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MUI_LANGDLL_REGISTRY_VALUENAME "Installer Language"
; The language page speaks the language Windows uses (see .onInit).
!define MUI_LANGDLL_WINDOWTITLE "$LangPageTitle"
!define MUI_LANGDLL_INFO "$LangPageText"

!define MUI_PAGE_CUSTOMFUNCTION_PRE WelcomePre
!define MUI_WELCOMEPAGE_TEXT "$WelcomeText"
!insertmacro MUI_PAGE_WELCOME
!define MUI_PAGE_CUSTOMFUNCTION_PRE DirectoryPre
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE DirectoryLeave
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\${EXE_NAME}"
!define MUI_FINISHPAGE_RUN_TEXT "$(START_NOW)"
; The second box of the finish page is Start with Windows, written when the page is left.
!define MUI_FINISHPAGE_SHOWREADME
!define MUI_FINISHPAGE_SHOWREADME_TEXT "$(START_WITH_WINDOWS)"
!define MUI_FINISHPAGE_SHOWREADME_FUNCTION StartWithWindowsTicked
!define MUI_PAGE_CUSTOMFUNCTION_SHOW FinishShow
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE FinishLeave
!insertmacro MUI_PAGE_FINISH

!define MUI_PAGE_CUSTOMFUNCTION_PRE un.ConfirmPre
!define MUI_UNCONFIRMPAGE_TEXT_TOP "$ConfirmText"
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; English first: the fallback when the Windows display language is none of these.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "German"
!insertmacro MUI_LANGUAGE "French"
!insertmacro MUI_LANGUAGE "Spanish"
!insertmacro MUI_LANGUAGE "Italian"
!insertmacro MUI_LANGUAGE "Dutch"
!include "${__FILEDIR__}/strings.nsh"

; ---- Shared by setup and uninstaller ------------------------------------------------
; One setup or uninstall at a time: a second one says so and ends with EXIT_FAILED. The
; mutex is held until the process ends.
!macro ONLY_ONE_SETUP
    System::Call 'kernel32::CreateMutexW(p 0, i 1, w "${SETUP_MUTEX}") p .r0 ?e'
    Pop $1
    ${If} $1 = ${ERROR_ALREADY_EXISTS}
        MessageBox MB_OK|MB_ICONSTOP "$(SETUP_ALREADY_RUNS)" /SD IDOK
        SetErrorLevel ${EXIT_FAILED}
        Quit
    ${EndIf}
!macroend

; Sets $0 to a paragraph with the text when an agent runs, else to "" (uses $1).
!macro AGENT_NOTE text
    StrCpy $0 ""
    FindWindow $1 "${AGENT_CLASS}"
    ${IfThen} $1 <> 0 ${|} StrCpy $0 "$\r$\n$\r$\n${text}" ${|}
!macroend

; Ends a running agent through its Exit command (which detaches the device and removes
; the icon) and waits for its process. Pushes 1 when none runs any more, 0 otherwise.
!macro STOP_AGENT un
Function ${un}StopAgent
    Push $0
    Push $1
    Push $2
    Push $3
    StrCpy $3 1
    FindWindow $0 "${AGENT_CLASS}"
    ${If} $0 <> 0
        DetailPrint "$(STOPPING_AGENT)"
        System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r1)'
        System::Call 'kernel32::OpenProcess(i ${SYNCHRONIZE}, i 0, i r1) p .r2'
        System::Call 'user32::PostMessage(p r0, i ${WM_COMMAND}, p ${IDM_EXIT}, p 0)'
        ${If} $2 P<> 0
            System::Call 'kernel32::WaitForSingleObject(p r2, i ${AGENT_EXIT_TIMEOUT_MS}) i .r1'
            System::Call 'kernel32::CloseHandle(p r2)'
            ${IfThen} $1 <> ${WAIT_OBJECT_0} ${|} StrCpy $3 0 ${|}
        ${Else}
            StrCpy $3 0
        ${EndIf}
        StrCpy $StoppedAgent $3
    ${EndIf}
    Pop $2
    Pop $1
    Pop $0
    Exch $3
FunctionEnd
!macroend
!insertmacro STOP_AGENT ""
!insertmacro STOP_AGENT "un."

; Reports a failure before anything changed, and ends with a non-zero exit code.
!macro FAIL message
    DetailPrint "${message}"
    MessageBox MB_OK|MB_ICONSTOP "${message}" /SD IDOK
    SetErrorLevel ${EXIT_FAILED}
    Abort
!macroend

; Adds "<path>" to the lines of $R2 when the installed file exists and cannot be written.
!macro NOTE_IF_IN_USE path
    ${If} ${FileExists} "$INSTDIR\${path}"
        ClearErrors
        FileOpen $R1 "$INSTDIR\${path}" a
        ${If} ${Errors}
            StrCpy $R2 "$R2$\r$\n${path}"
        ${Else}
            FileClose $R1
        ${EndIf}
    ${EndIf}
!macroend

; Stops before any file changes when one is held open by another program, and gives the
; user back the agent ended before.
!macro FAIL_IF_IN_USE
    StrCpy $R2 ""
    !include "${GEN_DIR}/in_use.nsh"
    ${If} $R2 != ""
        ${If} $StoppedAgent = 1
            Exec '"$INSTDIR\${EXE_NAME}"'
        ${EndIf}
        !insertmacro FAIL "$(FILES_IN_USE)"
    ${EndIf}
!macroend

; ---- Setup --------------------------------------------------------------------------
; NSIS silently replaces a /D= folder it finds unusable (one below a file, say) with the
; default; take it from the process's own command line so such a folder is refused instead.
Function TakeFolderFromCommandLine
    System::Call 'kernel32::GetCommandLineW() w .r0'
    StrLen $1 $0
    ${Do}
        IntOp $1 $1 - 1
        ${IfThen} $1 < 0 ${|} ${ExitDo} ${|}
        StrCpy $2 $0 4 $1
        ${If} $2 == " /D="
            IntOp $1 $1 + 4
            StrCpy $INSTDIR $0 "" $1
            ${ExitDo}
        ${EndIf}
    ${Loop}
    ; As NSIS does: no trailing backslash (a drive's root keeps its own).
    ${Do}
        StrCpy $0 $INSTDIR 1 -1
        StrLen $1 $INSTDIR
        ${IfThen} $0 != "\" ${|} ${ExitDo} ${|}
        ${IfThen} $1 <= 3 ${|} ${ExitDo} ${|}
        StrCpy $INSTDIR $INSTDIR -1
    ${Loop}
FunctionEnd

; Pushes 1 for a full path ("C:\..." or "\\server\..."), 0 for anything else.
Function FolderIsAbsolute
    StrCpy $0 $INSTDIR 2 1
    StrCpy $1 $INSTDIR 2
    ${If} $0 == ":\"
    ${OrIf} $1 == "\\"
        Push 1
    ${Else}
        Push 0
    ${EndIf}
FunctionEnd

; The agent's version in the folder ("" when there is none): what an upgrade replaces.
Function FindInstalledVersion
    StrCpy $InstalledVersion ""
    ClearErrors
    GetDLLVersion "$INSTDIR\${EXE_NAME}" $0 $1
    ${IfNot} ${Errors}
        IntOp $2 $0 >> 16
        IntOp $0 $0 & 0xFFFF
        IntOp $3 $1 >> 16
        IntOp $1 $1 & 0xFFFF
        StrCpy $InstalledVersion "$2.$0.$3.$1"
    ${EndIf}
FunctionEnd

; Start with Windows: the switch when given, else the user's current choice, else on (the
; agent's own default at its first start).
Function ChooseStartWithWindows
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "${AUTOSTART_SWITCH}" $1
    ${IfNot} ${Errors}
        ${If} $1 != "0"
        ${AndIf} $1 != "1"
            MessageBox MB_OK|MB_ICONSTOP "$(AUTOSTART_INVALID)" /SD IDOK
            SetErrorLevel ${EXIT_FAILED}
            Quit
        ${EndIf}
        StrCpy $StartWin $1
        Return
    ${EndIf}
    ClearErrors
    ReadRegDWORD $0 HKCU "${AGENT_KEY}" "${STARTWIN_VALUE}"
    ${If} ${Errors}
    ${OrIf} $0 <> 0
        StrCpy $StartWin 1
    ${Else}
        StrCpy $StartWin 0
    ${EndIf}
FunctionEnd

Function .onInit
    !insertmacro ONLY_ONE_SETUP
    Call TakeFolderFromCommandLine
    Call ChooseStartWithWindows
    Call FindInstalledVersion
    ; NSIS has picked the language Windows uses (English when it is none of the six); the
    ; language page speaks it, even when the list preselects the one chosen last time.
    StrCpy $LangPageTitle "$(LANG_PAGE_TITLE)"
    StrCpy $LangPageText "$(LANG_PAGE_TEXT)"
    !insertmacro MUI_LANGDLL_DISPLAY
FunctionEnd

; A first install welcomes; an upgrade says what it replaces and what it ends.
Function WelcomePre
    ${If} $InstalledVersion == ""
        StrCpy $WelcomeText "$(WELCOME_TEXT)"
    ${Else}
        !insertmacro AGENT_NOTE "$(UPGRADE_ENDS_AGENT)"
        StrCpy $WelcomeText "$(UPGRADE_TEXT)$0"
    ${EndIf}
    StrCpy $WelcomeText "$WelcomeText$\r$\n$\r$\n$(^ClickNext)"
FunctionEnd

; An upgrade goes where the installation is: no folder to choose.
Function DirectoryPre
    ${IfThen} $InstalledVersion != "" ${|} Abort ${|}
FunctionEnd

Function FinishShow
    ${NSD_SetState} $mui.FinishPage.ShowReadme $StartWin
FunctionEnd

; Written before "Start now" runs the agent, which applies it at its start (Run value).
Function FinishLeave
    ${NSD_GetState} $mui.FinishPage.ShowReadme $0
    ${If} $0 = ${BST_CHECKED}
        StrCpy $StartWin 1
    ${Else}
        StrCpy $StartWin 0
    ${EndIf}
    WriteRegDWORD HKCU "${AGENT_KEY}" "${STARTWIN_VALUE}" $StartWin
FunctionEnd

; The box's own action: nothing more, FinishLeave has written the choice.
Function StartWithWindowsTicked
FunctionEnd

; Pushes 1 when every installed path fits the agent's path buffers (in ANSI bytes).
Function FolderFits
    Push $0
    System::Call 'kernel32::WideCharToMultiByte(i 0, i 0, w "$INSTDIR", i -1, p 0, i 0, p 0, p 0) i .r0'
    IntOp $0 $0 - 1   ; without its NUL
    ${If} $0 > ${MAX_FOLDER_BYTES}
        StrCpy $0 0
    ${Else}
        StrCpy $0 1
    ${EndIf}
    Exch $0
FunctionEnd

Function DirectoryLeave
    Call FolderFits
    Pop $0
    ${If} $0 = 0
        MessageBox MB_OK|MB_ICONEXCLAMATION "$(FOLDER_TOO_LONG)"
        Abort
    ${EndIf}
FunctionEnd

; Deletes the files an earlier setup installed that this one no longer ships (a stand-in's
; scenario after the vendor's library came in, say), so the uninstaller leaves nothing behind.
; Only plain paths below the folder are taken from that list.
Function RemoveRetiredFiles
    ClearErrors
    FileOpen $R0 "$PLUGINSDIR\previous.lst" r
    ${IfThen} ${Errors} ${|} Return ${|}
    ${Do}
        FileRead $R0 $R1
        ${IfThen} ${Errors} ${|} ${ExitDo} ${|}
        ${TrimNewLines} $R1 $R1
        ${StrStr} $R3 $R1 ".."
        ${StrStr} $R4 $R1 ":"
        StrCpy $R5 $R1 1
        ${If} $R1 != ""
        ${AndIf} $R3 == ""
        ${AndIf} $R4 == ""
        ${AndIf} $R5 != "\"
            !include "${GEN_DIR}/is_installed.nsh"
            ${IfThen} $R2 = 0 ${|} Delete "$INSTDIR\$R1" ${|}
        ${EndIf}
    ${Loop}
    FileClose $R0
FunctionEnd

Section "-Install"
    Call FolderFits
    Pop $0
    ${If} $0 = 0
        !insertmacro FAIL "$(FOLDER_TOO_LONG)"
    ${EndIf}
    ; Make sure the folder can be made and written before anything else changes.
    Call FolderIsAbsolute
    Pop $0
    ${If} $0 = 0
        !insertmacro FAIL "$(FOLDER_NOT_WRITABLE)"
    ${EndIf}
    ClearErrors
    CreateDirectory "$INSTDIR"
    FileOpen $0 "$INSTDIR\setup-write-test.tmp" w
    ${If} ${Errors}
        !insertmacro FAIL "$(FOLDER_NOT_WRITABLE)"
    ${EndIf}
    FileClose $0
    Delete "$INSTDIR\setup-write-test.tmp"

    Call StopAgent
    Pop $0
    ${If} $0 = 0
        RMDir "$INSTDIR"   ; only when this setup just made it
        !insertmacro FAIL "$(AGENT_STILL_RUNS)"
    ${EndIf}

    ; The previous installation's list of files, read once the new files are in place.
    InitPluginsDir
    CopyFiles /SILENT "$INSTDIR\${MANIFEST}" "$PLUGINSDIR\previous.lst"
    ; A file held open (the library loaded by another program, say) cannot be replaced.
    !insertmacro FAIL_IF_IN_USE
    !include "${GEN_DIR}/install_files.nsh"
    Call RemoveRetiredFiles
    WriteUninstaller "$INSTDIR\${UNINSTALLER}"
    CreateShortcut "${SHORTCUT}" "$INSTDIR\${EXE_NAME}"

    ; The agent starts in the language of this setup, unless the user chose one already.
    ClearErrors
    ReadRegStr $0 HKCU "${AGENT_KEY}" "${LANG_VALUE}"
    ${If} ${Errors}
        WriteRegStr HKCU "${AGENT_KEY}" "${LANG_VALUE}" "$(AGENT_LANG_CODE)"
    ${EndIf}
    ; The agent writes or removes its Run value from this at every start.
    WriteRegDWORD HKCU "${AGENT_KEY}" "${STARTWIN_VALUE}" $StartWin

    ; Apart from the MSI's row when both packages are installed.
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PER_USER_DISPLAY_NAME}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${EXE_NAME},0"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "${MUI_LANGDLL_REGISTRY_VALUENAME}" "$LANGUAGE"
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" ${STAGED_SIZE_KB}
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1

    ; A silent upgrade gives the user back the agent it ended; the dialog asks instead.
    ${If} ${Silent}
    ${AndIf} $StoppedAgent = 1
        Exec '"$INSTDIR\${EXE_NAME}"'
    ${EndIf}
SectionEnd

; ---- Uninstaller --------------------------------------------------------------------
Function un.onInit
    !insertmacro ONLY_ONE_SETUP
    !insertmacro MUI_UNGETLANGUAGE
FunctionEnd

Function un.ConfirmPre
    !insertmacro AGENT_NOTE "$(UNINSTALL_ENDS_AGENT)"
    StrCpy $ConfirmText "$(UNINSTALL_TEXT)$0"
FunctionEnd

Section "Uninstall"
    Call un.StopAgent
    Pop $0
    ${If} $0 = 0
        !insertmacro FAIL "$(AGENT_STILL_RUNS)"
    ${EndIf}
    !insertmacro FAIL_IF_IN_USE
    ; Whether Start with Windows starts this installation's agent, judged by the agent's
    ; own rule while the folder still exists (it may be written by its short path).
    ; The command is the rest of the line, quotes and all; no answer keeps the value.
    ReadRegStr $0 HKCU "${RUN_KEY}" "${RUN_VALUE}"
    InitPluginsDir
    File "/oname=$PLUGINSDIR\${RUN_CHECK_EXE}" "${RUN_CHECK}"
    ExecWait '"$PLUGINSDIR\${RUN_CHECK_EXE}" "$INSTDIR" $0' $1

    !include "${GEN_DIR}/uninstall_files.nsh"
    Delete "$INSTDIR\${UNINSTALLER}"
    ; Written by the stand-in library itself, not installed.
    Delete "$INSTDIR\${SIM_JOURNAL}"
    RMDir "$INSTDIR\lang"
    RMDir "$INSTDIR"   ; kept when the user left files of their own in it
    Delete "${SHORTCUT}"

    ${If} $1 == ${RUN_CHECK_STARTS}
        DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
    ${EndIf}
    DeleteRegKey HKCU "${AGENT_KEY}"
    DeleteRegKey /ifempty HKCU "${VENDOR_KEY}"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
