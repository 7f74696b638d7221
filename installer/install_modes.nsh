; Included by tavrowen2.nsi: for whom Setup installs, and which of the two
; ways the uninstaller undoes. Uses the script's defines and macros.

; "AllUsers" or "CurrentUser": the mode of this install, or of the copy the
; uninstaller removes. An install writes the machine's folders and HKLM, or
; the user's and HKCU, never both: the shell context (SHCTX) follows it.
Var Mode
Var ModeGiven          ; 1 when /AllUsers or /CurrentUser chose it
Var InstalledMode      ; the mode of the copy installed already, or ""
Var FolderGiven        ; 1 when /D= chose the folder
Var AllUsersButton
Var CurrentUserButton

; In $0 what this account may do for all users: "admin" now, "elevate" after
; the consent prompt (an administrator's filtered token, Vista and later), or
; "none" (a limited account; Windows before Vista never elevates).
!macro DefineReadRights un
Function ${un}ReadRights
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 == "Admin"
    StrCpy $0 admin
    Return
  ${EndIf}
  StrCpy $0 none
  ; TOKEN_QUERY; TokenElevationType, where 3 is TokenElevationTypeLimited
  System::Call 'advapi32::OpenProcessToken(p -1, i 8, *p .r1) i .r2'
  ${If} $2 <> 0
    System::Call 'advapi32::GetTokenInformation(p r1, i 18, *i .r3, i 4, *i .r4) i .r2'
    ${If} $2 <> 0
    ${AndIf} $3 = 3
      StrCpy $0 elevate
    ${EndIf}
    System::Call 'kernel32::CloseHandle(p r1)'
  ${EndIf}
FunctionEnd
!macroend
!insertmacro DefineReadRights ""
!insertmacro DefineReadRights "un."

Function ReadInstalledMode
  StrCpy $InstalledMode ""
  ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
    StrCpy $InstalledMode CurrentUser
  ${EndIf}
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
    StrCpy $InstalledMode AllUsers
  ${EndIf}
FunctionEnd

; The shell context and, unless /D= gave one, the folder of $Mode: where the
; installed copy of that mode is, else the mode's own default.
Function UseMode
  ${If} $Mode == AllUsers
    SetShellVarContext all
  ${Else}
    SetShellVarContext current
  ${EndIf}
  ${If} $FolderGiven == 1
    Return
  ${EndIf}
  ReadRegStr $INSTDIR SHCTX "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $INSTDIR != ""
    Return
  ${EndIf}
  ${If} $Mode == CurrentUser
    StrCpy $INSTDIR "$LOCALAPPDATA\${PER_USER_FOLDER}"
  ${ElseIf} ${RunningX64}
    StrCpy $INSTDIR "$PROGRAMFILES64\${PRODUCT}"
  ${Else}
    StrCpy $INSTDIR "$PROGRAMFILES\${PRODUCT}"
  ${EndIf}
FunctionEnd

; A copy installed in the other mode goes first, when the user agrees; a
; silent Setup never removes it and ends with 2. Aborts (back to the page)
; when the copy stays. A copy just for the user is removed only with the
; user's own rights: its folder and the HKCU entry naming it are the user's to
; change, so an elevated Setup never runs what they name; it says to remove
; that copy first and ends with 2.
Function ResolveModeSwitch
  ${If} $InstalledMode == ""
  ${OrIf} $InstalledMode == $Mode
    Return
  ${EndIf}
  ${If} $InstalledMode == AllUsers
    StrCpy $1 "$(ForAnyone)"
    ReadRegStr $2 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${Else}
    StrCpy $1 "$(JustForYou)"
    ReadRegStr $2 HKCU "${UNINSTALL_KEY}" "InstallLocation"
    Call ReadRights
    ${If} $0 == admin
      MessageBox MB_OK|MB_ICONSTOP "$(InstalledJustForYou)" /SD IDOK
      SetErrorLevel 2
      Quit
    ${EndIf}
  ${EndIf}
  ${If} ${Silent}
    SetErrorLevel 2
    Quit
  ${EndIf}
  MessageBox MB_YESNO|MB_ICONQUESTION "$(RemoveFirst)" IDYES remove
  Abort
remove:
  ExecWait '"$2\${UNINSTALLER}" /S _?=$2' $0
  Delete "$2\${UNINSTALLER}"
  RMDir "$2"
  Call ReadInstalledMode
  ${If} $InstalledMode != ""
  ${AndIf} $InstalledMode != $Mode
    MessageBox MB_OK|MB_ICONSTOP "$(NotRemoved)" /SD IDOK
    Abort
  ${EndIf}
FunctionEnd

; Setup again with administrator rights, for all users; this copy ends once
; it has started.
Function RestartElevated
  StrCpy $0 "/AllUsers"
  ${If} $FolderGiven == 1
    StrCpy $0 "/AllUsers /D=$INSTDIR"
  ${EndIf}
  ; The copy started asks no language again.
  WriteRegStr HKCU "${SETTINGS_KEY}" "Installer Language" $LANGUAGE
  ClearErrors
  ExecShell "runas" "$EXEPATH" "$0"
  ${IfNot} ${Errors}
    Quit
  ${EndIf}
  ; The prompt was declined: the choice stays open.
  Abort
FunctionEnd

Function .onInit
  !insertmacro UseNativeRegistryView
  StrCpy $FolderGiven 0
  ${If} $INSTDIR != ""
    StrCpy $FolderGiven 1
  ${EndIf}
  Call ReadInstalledMode
  ${GetParameters} $R0
  StrCpy $ModeGiven 1
  ClearErrors
  ${GetOptions} $R0 "/AllUsers" $R1
  ${IfNot} ${Errors}
    StrCpy $Mode AllUsers
  ${Else}
    ClearErrors
    ${GetOptions} $R0 "/CurrentUser" $R1
    ${IfNot} ${Errors}
      StrCpy $Mode CurrentUser
    ${Else}
      StrCpy $ModeGiven 0
      ; An upgrade keeps the installed copy's mode; else all users where the
      ; account may install for them.
      StrCpy $Mode $InstalledMode
      ${If} $Mode == ""
        Call ReadRights
        StrCpy $Mode AllUsers
        ${If} $0 == none
          StrCpy $Mode CurrentUser
        ${EndIf}
      ${EndIf}
    ${EndIf}
  ${EndIf}
  ${If} ${Silent}
  ${OrIf} $ModeGiven == 1
    Call ResolveModeSwitch
    ${If} $Mode == AllUsers
      !insertmacro RequireAdministrator
    ${EndIf}
  ${EndIf}
  Call UseMode
  ; Not when silent: then Windows' language, or the one kept from before.
  !insertmacro MUI_LANGDLL_DISPLAY
FunctionEnd

Function ShowModePage
  ${If} $ModeGiven == 1
    Abort
  ${EndIf}
  !insertmacro MUI_HEADER_TEXT "$(ModeTitle)" "$(ModeSubtitle)"
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateRadioButton} 0 0 100% 12u "$(AllUsersRadio)"
  Pop $AllUsersButton
  Call ReadRights
  StrCpy $1 "$(AllUsersNote)"
  ${If} $0 == none
    StrCpy $1 "$(AllUsersUnavailable)"
    EnableWindow $AllUsersButton 0
  ${EndIf}
  ${NSD_CreateLabel} 12u 14u -12u 28u "$1"
  Pop $0
  ${NSD_CreateRadioButton} 0 44u 100% 12u "$(CurrentUserRadio)"
  Pop $CurrentUserButton
  ${NSD_CreateLabel} 12u 58u -12u 28u "$(CurrentUserNote)"
  Pop $0
  ${If} $Mode == AllUsers
    ${NSD_Check} $AllUsersButton
  ${Else}
    ${NSD_Check} $CurrentUserButton
  ${EndIf}
  nsDialogs::Show
FunctionEnd

Function LeaveModePage
  ${NSD_GetState} $AllUsersButton $0
  StrCpy $Mode CurrentUser
  ${If} $0 == ${BST_CHECKED}
    StrCpy $Mode AllUsers
  ${EndIf}
  Call ResolveModeSwitch
  ${If} $Mode == AllUsers
    Call ReadRights
    ${If} $0 == elevate
      Call RestartElevated
    ${EndIf}
    !insertmacro RequireAdministrator
  ${EndIf}
  Call UseMode
FunctionEnd

; The uninstall entry that names this folder says which mode wrote it. The
; machine's entry is asked first: only administrators write it, while anyone
; can name any folder in HKCU.
Function un.onInit
  !insertmacro UseNativeRegistryView
  !insertmacro MUI_UNGETLANGUAGE
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ReadRegStr $1 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ; LogicLib's == ignores case, as Windows does for paths.
  StrCpy $Mode AllUsers
  ${If} $1 != ""
  ${AndIf} $1 == $INSTDIR
    StrCpy $Mode CurrentUser
  ${EndIf}
  StrCpy $2 0
  ${If} $0 != ""
  ${AndIf} $0 == $INSTDIR
    StrCpy $Mode AllUsers
    StrCpy $2 1
  ${EndIf}
  ${If} $Mode == CurrentUser
    SetShellVarContext current
    Return
  ${EndIf}
  Call un.ReadRights
  ; A folder no entry names may be anyone's: it is not elevated from.
  ${If} $0 == elevate
  ${AndIf} $2 == 1
    ; Again with administrator rights: the uninstaller in the install folder,
    ; which only administrators can change, never this copy in the user's
    ; temporary folder; _?= keeps it working in place.
    ${GetParameters} $R0
    ExecShell "runas" "$INSTDIR\${UNINSTALLER}" '$R0 _?=$INSTDIR'
    Quit
  ${EndIf}
  !insertmacro RequireAdministrator
  SetShellVarContext all
FunctionEnd
