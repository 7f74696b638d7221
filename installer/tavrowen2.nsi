; Setup for Tavrowen 2: one program for 32-bit and 64-bit Windows that installs
; the build matching the system, for all users into Program Files (with
; administrator rights), or just for the user who runs it into
; %LOCALAPPDATA%\Programs, writing nothing of the machine's.
;   /AllUsers, /CurrentUser  choose the mode without asking (with /S)
; installer/make_packages.sh builds it and passes:
;   VERSION  the product version, four numbers (from the CMake project)
;   X86_DIR  folder holding the 32-bit Tavrowen2.exe and Tavrowen2Admin.exe
;   X64_DIR  folder holding the 64-bit ones
;   ICON     the program's icon
;   OUTFILE  the setup program to write
;   RUN_VALUE, MAIN_WINDOW_CLASS, SETTINGS_KEY, SHUTDOWN_MESSAGE  the programs' own
;            identifiers (from CMake)

!ifndef VERSION | X86_DIR | X64_DIR | ICON | OUTFILE | RUN_VALUE | MAIN_WINDOW_CLASS | SETTINGS_KEY | SHUTDOWN_MESSAGE
  !error "pass VERSION, X86_DIR, X64_DIR, ICON, OUTFILE, RUN_VALUE, MAIN_WINDOW_CLASS, SETTINGS_KEY and SHUTDOWN_MESSAGE with -D"
!endif

Unicode true
; Both builds carry the same artwork; a solid archive stores it once.
SetCompressor /SOLID lzma
; No elevation prompt: "just for me" needs none, and the all-users choice asks
; for it by starting Setup again elevated.
RequestExecutionLevel user
ManifestSupportedOS all
ManifestDPIAware true
; A file that cannot be replaced must stop Setup, never be skipped silently.
AllowSkipFiles off

!include MUI2.nsh
!include LogicLib.nsh
!include x64.nsh
!include FileFunc.nsh
!include nsDialogs.nsh

!define PRODUCT "Tavrowen 2"
!define PUBLISHER "Veltrix"
!define MAIN_EXE "Tavrowen2.exe"
!define COMPANION_EXE "Tavrowen2Admin.exe"
!define UNINSTALLER "Uninstall.exe"
!define PER_USER_FOLDER "Programs\${PRODUCT}"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tavrowen2"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
; Explorer's "Look Up on Kestrava" for the install's users, on programs, libraries and
; drivers; every other file type, "*" among them, is left alone.
!define VERB_KEY "shell\TavrowenLookUp"
; MAIN_WINDOW_CLASS, the main window's class: a copy is running while one exists.
; How long a running copy gets to end and free its files: 20 checks, 500 ms apart.
!define FREE_FILE_CHECKS 20

Name "${PRODUCT}"
OutFile "${OUTFILE}"
BrandingText "${PRODUCT} ${VERSION}"
; No InstallDir: .onInit chooses the folder by architecture, unless /D= gave one.

VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) 2026 ${PUBLISHER}"

!define MUI_ICON "${ICON}"
; The language chosen is kept in the program's own settings, where the
; uninstaller finds it; the choice's own window asks in the language Setup
; found for this user, which it offers first.
!define MUI_LANGDLL_REGISTRY_ROOT HKCU
!define MUI_LANGDLL_REGISTRY_KEY "${SETTINGS_KEY}"
!define MUI_LANGDLL_REGISTRY_VALUENAME "Installer Language"
!define MUI_LANGDLL_WINDOWTITLE "$(LanguageTitle)"
!define MUI_LANGDLL_INFO "$(LanguageInfo)"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
; The stock text asks to close every other program; only our own copy matters.
!define MUI_WELCOMEPAGE_TEXT "$(Welcome)"

!insertmacro MUI_PAGE_WELCOME
Page custom ShowModePage LeaveModePage
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "$(StartProgram)"
!define MUI_FINISHPAGE_RUN_FUNCTION StartInstalledProgram
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; Every language the program speaks, English first: Setup speaks Windows'
; display language, or English when it is none of these. An interactive
; Setup asks, offering it first; the uninstaller speaks the one chosen.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "German"
!insertmacro MUI_LANGUAGE "French"
!insertmacro MUI_LANGUAGE "Spanish"
!insertmacro MUI_LANGUAGE "Italian"
!insertmacro MUI_LANGUAGE "PortugueseBR"
!insertmacro MUI_LANGUAGE "Dutch"
!insertmacro MUI_LANGUAGE "Polish"
!insertmacro MUI_LANGUAGE "Russian"
!insertmacro MUI_LANGUAGE "Turkish"
!insertmacro MUI_LANGUAGE "Japanese"
!insertmacro MUI_LANGUAGE "SimpChinese"
!insertmacro MUI_LANGUAGE "Korean"
!include "${__FILEDIR__}/languages.nsh"

; A 64-bit build is registered where 64-bit Windows looks for it.
!macro UseNativeRegistryView
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
!macroend

; Windows before Vista does not elevate: a limited account would fail half way
; through Program Files and the machine's registry, so it is stopped at once.
!macro RequireAdministrator
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "Admin"
    MessageBox MB_OK|MB_ICONSTOP "$(NeedsAdmin)" /SD IDOK
    SetErrorLevel 740 ; ERROR_ELEVATION_REQUIRED
    Quit
  ${EndIf}
!macroend

; Notes in $0 the given file when it is in use and nothing else is noted yet.
; Opening for writing fails while a process runs the file or holds it open
; without sharing: the same test the copy or delete after it would fail.
!macro NoteFileInUse file
  ${If} $0 == ""
  ${AndIf} ${FileExists} "${file}"
    ClearErrors
    FileOpen $1 "${file}" a
    ${If} ${Errors}
      StrCpy $0 "${file}"
    ${Else}
      FileClose $1
    ${EndIf}
  ${EndIf}
!macroend

; Ends a running copy with the message a second copy's "/shutdown" posts,
; never by running the installed file (Setup is elevated; the folder's file
; may not be ours), then waits for the program files to be free. Leaves in $0 the first file still in use
; after the wait, or "" when all are free. Setup replaces the uninstaller too,
; so it waits for that file as well; the uninstaller itself may run from it.
!macro DefineFreeProgramFiles un
Function ${un}FreeProgramFiles
  FindWindow $0 "${MAIN_WINDOW_CLASS}"
  ${If} $0 <> 0
    DetailPrint "$(Ending)"
    System::Call 'user32::PostMessageW(p r0, i ${SHUTDOWN_MESSAGE}, p 0, p 0)'
  ${EndIf}

  StrCpy $2 0
  ${Do}
    StrCpy $0 ""
    !insertmacro NoteFileInUse "$INSTDIR\${MAIN_EXE}"
    !insertmacro NoteFileInUse "$INSTDIR\${COMPANION_EXE}"
    !if "${un}" == ""
      !insertmacro NoteFileInUse "$INSTDIR\${UNINSTALLER}"
    !endif
    ${If} $0 == ""
    ${OrIf} $2 >= ${FREE_FILE_CHECKS}
      ${Break}
    ${EndIf}
    Sleep 500
    IntOp $2 $2 + 1
  ${Loop}
FunctionEnd
!macroend
!insertmacro DefineFreeProgramFiles ""
!insertmacro DefineFreeProgramFiles "un."

!include "${__FILEDIR__}/install_modes.nsh"

; Setup may run elevated. Started through the shell's own process the program gets
; the desktop user's ordinary rights, as it would from the Start menu.
Function StartInstalledProgram
  Exec '"$WINDIR\explorer.exe" "$INSTDIR\${MAIN_EXE}"'
FunctionEnd

; Program Files lets only administrators write; a folder chosen elsewhere with
; /D= would inherit write access for every user, and the elevated companion
; would then run from a folder anyone can change. Such a folder gets Program
; Files' rule: Administrators own it, Administrators and SYSTEM write, Users
; read and run. Windows' own error codes are Setup's exit codes when it refuses.
!define ERROR_PATH_NOT_FOUND 3         ; a /D= folder's parent does not exist
!define ERROR_ACCESS_DENIED 5          ; the owner or access list could not be set
!define ERROR_NOT_SUPPORTED 50         ; no icacls (Windows XP): only Program Files
!define ERROR_DIR_NOT_EMPTY 145        ; holds files that are not this program's
!define ERROR_INVALID_OWNER 1307       ; owned by neither Administrators nor SYSTEM
!define ERROR_INVALID_ACL 1336         ; a /D= folder's parent others can write
!define ERROR_CANT_ACCESS_FILE 1920    ; a reparse point, or a name with no full form
!define FILE_ATTRIBUTE_REPARSE_POINT 0x400
Var FolderOutsideProgramFiles

!macro RefuseFolder text errorLevel
  MessageBox MB_OK|MB_ICONSTOP "${text}" /SD IDOK
  SetErrorLevel ${errorLevel}
  Abort "${text}"
!macroend

; The owner of the folder $R9 as a SID string in $3, or "" when it cannot be
; read; in $4 the first account other than Administrators, SYSTEM and
; TrustedInstaller that its access list lets write it, or "" for none.
!define TRUSTED_INSTALLER "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"
; FILE_ADD_FILE, FILE_DELETE_CHILD, DELETE, WRITE_DAC, WRITE_OWNER, GENERIC_ALL,
; GENERIC_WRITE. Adding a subfolder is left out: Windows lets every user add
; one to C:\, which changes no folder already there.
!define WRITE_RIGHTS 0x500D0042
Function ReadFolderSecurity
  StrCpy $3 ""
  StrCpy $4 ""
  ; SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION
  System::Call 'advapi32::GetNamedSecurityInfoW(w R9, i 1, i 5, *p .r1, p 0, *p .r5, p 0, *p .r2) i .r0'
  ${If} $0 <> 0
    Return
  ${EndIf}
  System::Call 'advapi32::ConvertSidToStringSidW(p r1, *p .r6) i .r0'
  ${If} $0 <> 0
    System::Call 'kernel32::lstrcpynW(w .r3, p r6, i ${NSIS_MAX_STRLEN}) p'
    System::Call 'kernel32::LocalFree(p r6) p'
  ${EndIf}
  ; No access list at all lets everyone write.
  StrCpy $4 "S-1-1-0"
  ${If} $5 P<> 0
    StrCpy $4 ""
    ; ACL_SIZE_INFORMATION's AceCount, AclSizeInformation
    System::Call 'advapi32::GetAclInformation(p r5, *i .r6, i 12, i 2) i .r0'
    ${If} $0 = 0
      StrCpy $6 0
    ${EndIf}
    StrCpy $7 0
    ${DoWhile} $7 < $6
      Call ReadWritingAce
      ${If} $4 != ""
        ${Break}
      ${EndIf}
      IntOp $7 $7 + 1
    ${Loop}
  ${EndIf}
  System::Call 'kernel32::LocalFree(p r2) p'
FunctionEnd

; Ace $7 of the list $5: in $4 the account it lets write the folder itself,
; unless that is Administrators, SYSTEM or TrustedInstaller.
Function ReadWritingAce
  System::Call 'advapi32::GetAce(p r5, i r7, *p .r8) i .r0'
  ${If} $0 = 0
    Return
  ${EndIf}
  ; ACE_HEADER (type, flags, size), then the mask and the SID
  System::Call '*$8(&i1 .r9, &i1 .r0, &i2, i .r1)'
  IntOp $0 $0 & 8 ; INHERIT_ONLY_ACE: for what is made inside only
  IntOp $1 $1 & ${WRITE_RIGHTS}
  ${If} $9 <> 0 ; ACCESS_ALLOWED_ACE_TYPE
  ${OrIf} $0 <> 0
  ${OrIf} $1 = 0
    Return
  ${EndIf}
  IntOp $8 $8 + 8
  System::Call 'advapi32::ConvertSidToStringSidW(p r8, *p .r9) i .r0'
  StrCpy $4 "?"
  ${If} $0 <> 0
    System::Call 'kernel32::lstrcpynW(w .r4, p r9, i ${NSIS_MAX_STRLEN}) p'
    System::Call 'kernel32::LocalFree(p r9) p'
  ${EndIf}
  ${If} $4 == "S-1-5-32-544"
  ${OrIf} $4 == "S-1-5-18"
  ${OrIf} $4 == "${TRUSTED_INSTALLER}"
    StrCpy $4 ""
  ${EndIf}
FunctionEnd

; Whoever can change a folder above $INSTDIR can move it away and put another
; in its place: every parent of a folder given with /D= must exist, belong to
; Administrators, SYSTEM or TrustedInstaller, and let no one else write it.
; So must those of one chosen outside Program Files on the folder page.
Function CheckParentFolders
  StrCpy $R8 $INSTDIR
  ${Do}
    ${GetParent} $R8 $R8
    ${If} $R8 == ""
      ${Break}
    ${EndIf}
    StrCpy $R9 $R8
    StrLen $0 $R9
    ${If} $0 = 2
      StrCpy $R9 "$R9\"
    ${EndIf}
    ${IfNot} ${FileExists} "$R8\*.*"
      !insertmacro RefuseFolder "$(ParentMissing)" ${ERROR_PATH_NOT_FOUND}
    ${EndIf}
    Call ReadFolderSecurity
    ${If} $4 != ""
      !insertmacro RefuseFolder "$(ParentWritable)" ${ERROR_INVALID_ACL}
    ${EndIf}
    ${If} $3 != "S-1-5-32-544"
    ${AndIf} $3 != "S-1-5-18"
    ${AndIf} $3 != "${TRUSTED_INSTALLER}"
      !insertmacro RefuseFolder "$(ParentOwner)" ${ERROR_INVALID_OWNER}
    ${EndIf}
  ${Loop}
FunctionEnd

; Before anything is written: $INSTDIR made full and canonical, so that ".."
; cannot pass for a folder under Program Files; a folder elsewhere must be
; one Setup can give Program Files' rule, or Setup stops.
Function CheckChosenFolder
  System::Call 'kernel32::GetFullPathNameW(w "$INSTDIR", i ${NSIS_MAX_STRLEN}, w .r0, p 0) i .r1'
  ${If} $1 = 0
  ${OrIf} $1 >= ${NSIS_MAX_STRLEN}
    !insertmacro RefuseFolder "$(NoFullName)" ${ERROR_CANT_ACCESS_FILE}
  ${EndIf}
  StrCpy $INSTDIR $0
  ; The user's own install stays the user's.
  StrCpy $FolderOutsideProgramFiles 0
  ${If} $Mode == CurrentUser
    Return
  ${EndIf}
  StrCpy $FolderOutsideProgramFiles 1
  ${ForEach} $1 0 1 + 1
    ${If} $1 == 0
      StrCpy $2 "$PROGRAMFILES\"
    ${Else}
      StrCpy $2 "$PROGRAMFILES64\"
    ${EndIf}
    StrLen $3 $2
    StrCpy $4 "$INSTDIR\" $3
    ; LogicLib's == ignores case, as Windows does for paths.
    ${If} $4 == $2
      StrCpy $FolderOutsideProgramFiles 0
    ${EndIf}
  ${Next}
  ${If} $FolderOutsideProgramFiles == 0
    Return
  ${EndIf}
  ${IfNot} ${FileExists} "$SYSDIR\icacls.exe"
    !insertmacro RefuseFolder "$(OnlyProgramFiles)" ${ERROR_NOT_SUPPORTED}
  ${EndIf}
  System::Call 'kernel32::GetFileAttributesW(w "$INSTDIR") i .r0'
  ${If} $0 = -1
    Return
  ${EndIf}
  ; A link would let whoever made it choose where the files go.
  IntOp $0 $0 & ${FILE_ATTRIBUTE_REPARSE_POINT}
  ${If} $0 <> 0
    !insertmacro RefuseFolder "$(FolderIsLink)" ${ERROR_CANT_ACCESS_FILE}
  ${EndIf}
  ; Everything in the folder is given to Administrators: only this program's
  ; own files may be there already, never a tree such as C:\ or C:\Users.
  FindFirst $0 $1 "$INSTDIR\*.*"
  ${DoWhile} $1 != ""
    ${If} $1 != "."
    ${AndIf} $1 != ".."
    ${AndIf} $1 != "${MAIN_EXE}"
    ${AndIf} $1 != "${COMPANION_EXE}"
    ${AndIf} $1 != "${UNINSTALLER}"
      FindClose $0
      !insertmacro RefuseFolder "$(FolderNotEmpty)" ${ERROR_DIR_NOT_EMPTY}
    ${EndIf}
    FindNext $0 $1
  ${Loop}
  FindClose $0
  ; Its owner could change its access list again after Setup.
  StrCpy $R9 $INSTDIR
  Call ReadFolderSecurity
  ${If} $3 != "S-1-5-32-544"
  ${AndIf} $3 != "S-1-5-18"
    !insertmacro RefuseFolder "$(FolderOwner)" ${ERROR_INVALID_OWNER}
  ${EndIf}
FunctionEnd

; Once the folder exists: Administrators own it and everything in it, and the
; access list holds for all of it; the files written after inherit it.
Function ProtectChosenFolder
  ${If} $FolderOutsideProgramFiles != 1
    Return
  ${EndIf}
  DetailPrint "$(Protecting)"
  nsExec::ExecToLog '"$SYSDIR\icacls.exe" "$INSTDIR" /setowner *S-1-5-32-544 /T /Q'
  Pop $0
  ${If} $0 == 0
    nsExec::ExecToLog '"$SYSDIR\icacls.exe" "$INSTDIR" /inheritance:r /grant:r *S-1-5-32-544:(OI)(CI)F *S-1-5-18:(OI)(CI)F *S-1-5-32-545:(OI)(CI)RX /T /Q'
    Pop $0
  ${EndIf}
  ${If} $0 != 0
    !insertmacro RefuseFolder "$(ProtectFailed)" ${ERROR_ACCESS_DENIED}
  ${EndIf}
FunctionEnd

Section "Program files"
  SectionIn RO
  Call CheckChosenFolder
  ; The folder's parents are asked once the folder itself passed.
  ${If} $Mode == AllUsers
    ${If} $FolderGiven == 1
    ${OrIf} $FolderOutsideProgramFiles == 1
      Call CheckParentFolders
    ${EndIf}
  ${EndIf}
  Call FreeProgramFiles
  ${If} $0 != ""
    ; Nothing has been written yet: the installed copy stays whole.
    MessageBox MB_OK|MB_ICONSTOP "$(InUse)" /SD IDOK
    Abort "$(InUseAbort)"
  ${EndIf}
  SetOutPath "$INSTDIR"
  Call ProtectChosenFolder
  ${If} ${RunningX64}
    File "/oname=${MAIN_EXE}" "${X64_DIR}/${MAIN_EXE}"
    File "/oname=${COMPANION_EXE}" "${X64_DIR}/${COMPANION_EXE}"
  ${Else}
    File "/oname=${MAIN_EXE}" "${X86_DIR}/${MAIN_EXE}"
    File "/oname=${COMPANION_EXE}" "${X86_DIR}/${COMPANION_EXE}"
  ${EndIf}
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
SectionEnd

Section "Start menu shortcut"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\${MAIN_EXE}" "" "$INSTDIR\${MAIN_EXE}" 0
SectionEnd

; Explorer passes the file as "%1"; the program looks it up, or hands it to the copy that runs.
!macro WriteLookUpVerb type
  WriteRegStr SHCTX "Software\Classes\${type}\${VERB_KEY}" "" "$(VerbText)"
  WriteRegStr SHCTX "Software\Classes\${type}\${VERB_KEY}" "Icon" "$INSTDIR\${MAIN_EXE},0"
  WriteRegStr SHCTX "Software\Classes\${type}\${VERB_KEY}\command" "" '"$INSTDIR\${MAIN_EXE}" /lookup "%1"'
!macroend

Section "Explorer menu"
  !insertmacro WriteLookUpVerb exefile
  !insertmacro WriteLookUpVerb dllfile
  !insertmacro WriteLookUpVerb sysfile
SectionEnd

Section "Uninstall entry"
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${MAIN_EXE},0"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $0
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  ; A silent Setup shows no page that would keep it.
  WriteRegStr HKCU "${SETTINGS_KEY}" "Installer Language" $LANGUAGE
SectionEnd

; The uninstaller undoes the sections above under the same names. The settings
; key ${SETTINGS_KEY} stays, for a later install to pick up.

Section "un.Program files"
  Call un.FreeProgramFiles
  ${If} $0 != ""
    MessageBox MB_OK|MB_ICONSTOP "$(UnInUse)" /SD IDOK
    Abort "$(UnInUseAbort)"
  ${EndIf}
  Delete "$INSTDIR\${MAIN_EXE}"
  Delete "$INSTDIR\${COMPANION_EXE}"
  ; Run in place (_?=, as the elevated uninstaller is), its own file and
  ; folder go at the next restart.
  Delete /REBOOTOK "$INSTDIR\${UNINSTALLER}"
  ; Only an empty folder goes: files the user put there are not ours to delete.
  RMDir /REBOOTOK "$INSTDIR"
SectionEnd

Section "un.Start menu shortcut"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
SectionEnd

; The verb's own keys only: the file types stay as Windows has them.
Section "un.Explorer menu"
  DeleteRegKey SHCTX "Software\Classes\exefile\${VERB_KEY}"
  DeleteRegKey SHCTX "Software\Classes\dllfile\${VERB_KEY}"
  DeleteRegKey SHCTX "Software\Classes\sysfile\${VERB_KEY}"
SectionEnd

; The autostart value belongs to this install only when it starts a program in
; this folder; one naming a copy elsewhere is that copy's business.
Section "un.Autostart entry"
  ClearErrors
  ReadRegStr $0 HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${IfNot} ${Errors}
    ; The command reads: "<folder>\Tavrowen2.exe" /autostart
    StrCpy $1 $0 1
    ${If} $1 == '"'
      StrCpy $0 $0 "" 1
    ${EndIf}
    StrLen $2 "$INSTDIR\"
    StrCpy $1 $0 $2
    ; LogicLib's == ignores case, as Windows does for paths.
    ${If} $1 == "$INSTDIR\"
      DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
    ${EndIf}
  ${EndIf}
SectionEnd

Section "un.Uninstall entry"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
SectionEnd
