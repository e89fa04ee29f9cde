; The per-user installer of velmora (makensis 3, Unicode, LZMA, Modern UI),
; built by scripts/package.py with the defines VELMORA_VERSION, VELMORA_EXE,
; VELMORA_TEXTS (the zip's three texts), VELMORA_OUTFILE, VELMORA_TARGET (x86,
; or amd64 around a 64-bit velmora.exe) and, to sign, VELMORA_PLUGINS (signed
; plug-ins) and VELMORA_SIGN (scripts/signing.py's command).
; It installs without administrator rights into a folder the user can write
; (file.txt lies beside velmora.exe) and never touches file.txt.
; Command line: /S, /D=FOLDER, /AUTOSTART=0 or 1 (the Startup shortcut).

Unicode true
SetCompressor /SOLID lzma
SetDateSave off
RequestExecutionLevel user
ManifestDPIAware true
!ifndef VELMORA_TARGET
  !define VELMORA_TARGET x86
!endif
Target ${VELMORA_TARGET}-unicode
!ifdef VELMORA_SIGN
  ; Signed plug-ins stand in; a signing that fails fails the build (= 0).
  !addplugindir /${VELMORA_TARGET}-unicode "${VELMORA_PLUGINS}"
  !uninstfinalize '${VELMORA_SIGN} "%1" uninstall.exe' = 0
  !finalize '${VELMORA_SIGN} "%1" velmora-${VELMORA_VERSION}-setup.exe' = 0
!endif

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include Sections.nsh
!include WinMessages.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\velmora"
!define PUBLISHER "the velmora authors"
!define STARTUP_LINK "$SMSTARTUP\velmora.lnk"
!define MENU_LINK "$SMPROGRAMS\velmora.lnk"
; How long velmora is given to save its list and end, in milliseconds.
!define CLOSE_WAIT_MS 5000

Name "velmora"
OutFile "${VELMORA_OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\velmora"
; An upgrade goes where the earlier version was installed.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "velmora ${VELMORA_VERSION}"
ShowInstDetails nevershow
ShowUninstDetails nevershow

VIProductVersion "${VELMORA_VERSION}.0.0"
VIAddVersionKey /LANG=1041 "ProductName" "velmora"
VIAddVersionKey /LANG=1041 "ProductVersion" "${VELMORA_VERSION}"
VIAddVersionKey /LANG=1041 "FileVersion" "${VELMORA_VERSION}"
VIAddVersionKey /LANG=1041 "FileDescription" "velmora ${VELMORA_VERSION} セットアップ"
VIAddVersionKey /LANG=1041 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1041 "LegalCopyright" "${PUBLISHER} (MIT License)"

Var WasRunning   ; 1 when the installer closed a velmora of $INSTDIR
Var Autostart    ; the Startup shortcut wanted: 1 or 0

; The pages -------------------------------------------------------------------

!define MUI_ICON "../res/velmora.ico"
!define MUI_UNICON "../res/velmora.ico"
!define MUI_ABORTWARNING
!define MUI_ABORTWARNING_TEXT "velmora のセットアップを中止しますか？"
!define MUI_UNABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC

!define MUI_WELCOMEPAGE_TITLE "velmora ${VELMORA_VERSION} のセットアップへようこそ"
!define MUI_WELCOMEPAGE_TEXT "velmora は、通知領域（タスクトレイ）に常駐する小さなアラーム時計です。$\r$\n$\r$\nこのセットアップは velmora をあなたのユーザー アカウントにだけインストールします。管理者の権限は要りません。$\r$\n$\r$\nすでに velmora をお使いのときは、動いている velmora をいったん終了して新しいものに置き換え、もう一度起動します。アラームの一覧（file.txt）はそのまま引き継がれます。$\r$\n$\r$\n$_CLICK"
!insertmacro MUI_PAGE_WELCOME

!define MUI_PAGE_HEADER_TEXT "インストール先の選択"
!define MUI_PAGE_HEADER_SUBTEXT "velmora をインストールするフォルダーを選んでください。"
!define MUI_DIRECTORYPAGE_TEXT_TOP "velmora はアラームの一覧（file.txt）を velmora.exe と同じフォルダーに保存します。あなたが書き込みできるフォルダーを選んでください（「Program Files」の下は選べません）。"
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "インストール先のフォルダー"
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE DirectoryLeave
!insertmacro MUI_PAGE_DIRECTORY

!define MUI_PAGE_HEADER_TEXT "オプション"
!define MUI_PAGE_HEADER_SUBTEXT "velmora の起動のしかたを選んでください。"
!define MUI_COMPONENTSPAGE_TEXT_TOP "ログオン時に起動すると、Windows にサインインするたびに velmora が通知領域で動き始めます。velmora が動いていないあいだは、アラームは鳴りません。"
!define MUI_COMPONENTSPAGE_TEXT_COMPLIST "オプション:"
!insertmacro MUI_PAGE_COMPONENTS

!insertmacro MUI_PAGE_INSTFILES

!define MUI_FINISHPAGE_TITLE "velmora のセットアップの完了"
!define MUI_FINISHPAGE_TEXT "velmora をインストールしました。$\r$\n$\r$\nvelmora は通知領域に白い時計のアイコンで表示されます。アイコンをクリックするとアラームの一覧が開きます。"
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "velmora を起動する"
!define MUI_FINISHPAGE_RUN_FUNCTION StartVelmora
!define MUI_PAGE_CUSTOMFUNCTION_SHOW FinishShow
!insertmacro MUI_PAGE_FINISH

!define MUI_PAGE_HEADER_TEXT "velmora のアンインストール"
!define MUI_PAGE_HEADER_SUBTEXT "velmora をこのコンピューターから削除します。"
!define MUI_UNCONFIRMPAGE_TEXT_TOP "動いている velmora は、アラームの一覧を保存してから終了します。アラームの一覧（file.txt）を残すかどうかは、このあと選べます。"
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "Japanese"

; Closing velmora -----------------------------------------------------------------
;
; The velmora of $INSTDIR is asked to close as at the end of a session (it
; saves and ends); others are left alone. One not ended after CLOSE_WAIT_MS
; is never killed: Retry, or Cancel (and a silent run) aborts with exit code
; 2, nothing replaced. $WasRunning is 1 when one was closed.

!macro CLOSE_VELMORA un
Function ${un}CloseVelmora
  Push $0
  Push $1
  Push $2
  Push $3
  Push $4
  Push $5
  StrCpy $WasRunning 0
  ; The folder's own exe by its long name, as the process reports its image.
  StrCpy $5 "$INSTDIR\velmora.exe"
  System::Call 'kernel32::GetLongPathNameW(w r5, w .r0, i ${NSIS_MAX_STRLEN}) i .r1'
  ${If} $1 <> 0
    StrCpy $5 $0
  ${EndIf}
  retry:
  StrCpy $4 0  ; processes that did not end
  StrCpy $0 0  ; the window after which to search
  ${Do}
    FindWindow $0 "VELMORA" "" 0 $0
    ${If} $0 = 0
      ${Break}
    ${EndIf}
    System::Call 'user32::GetWindowThreadProcessId(p r0, *i 0 r1)'
    ; PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE
    System::Call 'kernel32::OpenProcess(i 0x101000, i 0, i r1) p .r2'
    ${If} $2 P<> 0
      System::Call 'kernel32::QueryFullProcessImageNameW(p r2, i 0, w .r3, *i ${NSIS_MAX_STRLEN}) i .r1'
      ${If} $1 <> 0
      ${AndIf} $3 == $5  ; case-insensitive
        StrCpy $WasRunning 1
        ; WM_QUERYENDSESSION and WM_ENDSESSION with ENDSESSION_CLOSEAPP,
        ; SMTO_ABORTIFHUNG: a hung velmora does not hold the installer.
        System::Call 'user32::SendMessageTimeoutW(p r0, i ${WM_QUERYENDSESSION}, p 0, p 1, i 2, i ${CLOSE_WAIT_MS}, *p .r1)'
        System::Call 'user32::SendMessageTimeoutW(p r0, i ${WM_ENDSESSION}, p 1, p 1, i 2, i ${CLOSE_WAIT_MS}, *p .r1)'
        System::Call 'kernel32::WaitForSingleObject(p r2, i ${CLOSE_WAIT_MS}) i .r1'
        ${If} $1 <> 0
          IntOp $4 $4 + 1
        ${EndIf}
      ${EndIf}
      System::Call 'kernel32::CloseHandle(p r2)'
    ${EndIf}
  ${Loop}
  ${If} $4 <> 0
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "velmora が終了しません。$\r$\n$\r$\n$5$\r$\n$\r$\nvelmora の画面（アラームの一覧やメッセージ）が開いていれば閉じてから「再試行」を押してください。「キャンセル」を押すと、何も変更せずに中止します。" /SD IDCANCEL IDRETRY retry
    SetErrorLevel 2
    Abort "velmora が終了しないため中止しました。"
  ${EndIf}
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro CLOSE_VELMORA ""
!insertmacro CLOSE_VELMORA "un."

; The installer -------------------------------------------------------------------

; 1 or 0 on the stack: whether a file can be made and deleted in $INSTDIR.
Function CanWriteFolder
  Push $0
  Push $1
  ; The nearest folder that exists already.
  StrCpy $0 $INSTDIR
  ${DoUntil} ${FileExists} "$0\*.*"
    ${GetParent} $0 $1
    ${If} $1 == ""
    ${OrIf} $1 == $0
      ${Break}
    ${EndIf}
    StrCpy $0 $1
  ${Loop}
  ClearErrors
  CreateDirectory $INSTDIR
  StrCpy $1 1
  ${If} ${Errors}
    StrCpy $1 0
  ${Else}
    GetTempFileName $1 $INSTDIR
    ${If} $1 == ""
      StrCpy $1 0
    ${Else}
      ClearErrors
      Delete $1
      StrCpy $1 1
      ${If} ${Errors}
        StrCpy $1 0
      ${EndIf}
    ${EndIf}
  ${EndIf}
  ; Empty folders made just now, up to the one that existed.
  Push $1
  StrCpy $1 $INSTDIR
  ${DoWhile} $1 != $0
    ${If} $1 == ""
      ${Break}
    ${EndIf}
    RMDir $1
    ${GetParent} $1 $1
  ${Loop}
  Pop $1
  Exch
  Pop $0
  Exch $1
FunctionEnd

!define NOT_WRITABLE_TEXT "このフォルダーには書き込みできません。$\r$\n$\r$\n$INSTDIR$\r$\n$\r$\nvelmora はアラームの一覧（file.txt）を velmora.exe と同じフォルダーに保存します。あなたが書き込みできるフォルダー（たとえば %LOCALAPPDATA%\Programs\velmora）を選んでください。"

Function DirectoryLeave
  Call CanWriteFolder
  Pop $0
  ${If} $0 = 0
    MessageBox MB_OK|MB_ICONEXCLAMATION "${NOT_WRITABLE_TEXT}"
    Abort  ; stays on the page
  ${EndIf}
FunctionEnd

; The desktop's shell starts velmora (IShellDispatch2::ShellExecute), with the
; user's rights: an elevated velmora, started by an elevated installer, could
; not be reached by a later normal start. Without a shell: a plain start.
!define CLSID_ShellWindows "{9BA05972-F6A8-11CF-A442-00A0C90A8F39}"
!define IID_IShellWindows "{85CB6900-4D95-11CF-960C-0080C7F4EE85}"
!define IID_IServiceProvider "{6D5140C1-7436-11CE-8034-00AA006009FA}"
!define SID_STopLevelBrowser "{4C96BE40-915C-11CF-99D3-00AA004AE837}"
!define IID_IShellBrowser "{000214E2-0000-0000-C000-000000000046}"
!define IID_IDispatch "{00020400-0000-0000-C000-000000000046}"
!define IID_IShellFolderViewDual "{E7A1AF80-4D96-11CF-960C-0080C7F4EE85}"
!define IID_IShellDispatch2 "{A4C6892C-3BA9-11D2-9DEA-00C04FB16162}"

!macro RELEASE_IF_SET reg
  ${If} ${reg} P<> 0
    System::Call '${reg}->2()'
  ${EndIf}
!macroend

; Called last (the finish page, the end of the sections): uses registers freely.
Function StartVelmora
  SetOutPath $INSTDIR
  System::Call 'ole32::CoInitializeEx(p 0, i 2) i .r3'  ; apartment-threaded
  StrCpy $0 -1  ; ShellExecute's result
  StrCpy $R2 0
  StrCpy $R3 0
  StrCpy $R4 0
  StrCpy $R5 0
  StrCpy $R6 0
  StrCpy $R7 0
  StrCpy $R8 0
  ; CLSCTX_LOCAL_SERVER: the running shell's own object.
  System::Call 'ole32::CoCreateInstance(g "${CLSID_ShellWindows}", p 0, i 4, g "${IID_IShellWindows}", *p .R2)'
  ${If} $R2 P<> 0
    ; FindWindowSW(VT_I4 CSIDL_DESKTOP, VT_EMPTY, SWC_DESKTOP, , SWFO_NEEDDISPATCH)
    System::Call '*(i 3, i 0, p 0) p .r1'
    System::Call '*(i 0, i 0, p 0) p .r2'
    System::Call '$R2->15(p r1, p r2, i 8, *i 0, i 1, *p .R3)'
    System::Free $1
    System::Free $2
  ${EndIf}
  ${If} $R3 P<> 0
    System::Call '$R3->0(g "${IID_IServiceProvider}", *p .R4)'
  ${EndIf}
  ${If} $R4 P<> 0
    System::Call '$R4->3(g "${SID_STopLevelBrowser}", g "${IID_IShellBrowser}", *p .R5)'
  ${EndIf}
  ${If} $R5 P<> 0
    System::Call '$R5->15(*p .R6)'  ; QueryActiveShellView
  ${EndIf}
  ${If} $R6 P<> 0
    System::Call '$R6->15(i 0, g "${IID_IDispatch}", *p .R7)'  ; GetItemObject(SVGIO_BACKGROUND)
  ${EndIf}
  ${If} $R7 P<> 0
    System::Call '$R7->0(g "${IID_IShellFolderViewDual}", *p .R8)'
    !insertmacro RELEASE_IF_SET $R7
    StrCpy $R7 0
  ${EndIf}
  ${If} $R8 P<> 0
    System::Call '$R8->7(*p .r1)'  ; get_Application
    !insertmacro RELEASE_IF_SET $R8
    StrCpy $R8 0
    ${If} $1 P<> 0
      System::Call '$1->0(g "${IID_IShellDispatch2}", *p .R8)'
      System::Call '$1->2()'
    ${EndIf}
  ${EndIf}
  ${If} $R8 P<> 0
    System::Call 'oleaut32::SysAllocString(w "$INSTDIR\velmora.exe") p .r1'
    System::Call 'oleaut32::SysAllocString(w "$INSTDIR") p .r2'
    ; ShellExecute(file, VT_EMPTY, folder, VT_EMPTY, VT_I4 SW_SHOWNORMAL): VARIANTs
    ; by value, as four words each on x86, as the address of a copy on amd64.
    !if ${VELMORA_TARGET} == amd64
      System::Call '*(i 0, i 0, p 0, p 0, i 8, i 0, p r2, p 0, i 0, i 0, p 0, p 0, i 3, i 0, p 1, p 0) p .r4'
      IntPtrOp $5 $4 + 24
      IntPtrOp $6 $4 + 48
      IntPtrOp $7 $4 + 72
      System::Call '$R8->31(p r1, p r4, p r5, p r6, p r7) i .r0'
      System::Free $4
    !else
      System::Call '$R8->31(p r1, i 0, i 0, i 0, i 0, i 8, i 0, p r2, i 0, i 0, i 0, i 0, i 0, i 3, i 0, i 1, i 0) i .r0'
    !endif
    System::Call 'oleaut32::SysFreeString(p r1)'
    System::Call 'oleaut32::SysFreeString(p r2)'
  ${EndIf}
  !insertmacro RELEASE_IF_SET $R2
  !insertmacro RELEASE_IF_SET $R3
  !insertmacro RELEASE_IF_SET $R4
  !insertmacro RELEASE_IF_SET $R5
  !insertmacro RELEASE_IF_SET $R6
  !insertmacro RELEASE_IF_SET $R8
  ${If} $3 >= 0  ; S_OK or S_FALSE: this call initialised COM here
    System::Call 'ole32::CoUninitialize()'
  ${EndIf}
  ${If} $0 <> 0
    StrCpy $4 0  ; TokenIsElevated
    System::Call 'advapi32::OpenProcessToken(p -1, i 8, *p .r1) i .r2'  ; TOKEN_QUERY
    ${If} $2 <> 0
      System::Call 'advapi32::GetTokenInformation(p r1, i 20, *i .r4, i 4, *i .r2)'  ; TokenElevation
      System::Call 'kernel32::CloseHandle(p r1)'
    ${EndIf}
    ${If} $4 = 0
      Exec '"$INSTDIR\velmora.exe"'
    ${Else}
      MessageBox MB_OK|MB_ICONINFORMATION "velmora を起動できませんでした。スタート メニューの「velmora」から起動してください。" /SD IDOK
    ${EndIf}
  ${EndIf}
FunctionEnd

Function FinishShow
  ; velmora was running and is running again: nothing to offer.
  ${If} $WasRunning = 1
    SendMessage $mui.FinishPage.Run ${BM_SETCHECK} ${BST_UNCHECKED} 0
    ShowWindow $mui.FinishPage.Run ${SW_HIDE}
  ${EndIf}
FunctionEnd

Section "velmora" SecMain
  SectionIn RO
  ; The folder page checks this; a silent run (/D=) is checked here.
  ${If} ${Silent}
    Call CanWriteFolder
    Pop $0
    ${If} $0 = 0
      SetErrorLevel 2
      Abort "${NOT_WRITABLE_TEXT}"
    ${EndIf}
  ${EndIf}
  Call CloseVelmora
  SetOutPath $INSTDIR
  ; file.txt and its .bad copies are velmora's own: never written here.
  File "/oname=velmora.exe" "${VELMORA_EXE}"
  File "${VELMORA_TEXTS}/README-ja.txt"
  File "${VELMORA_TEXTS}/LICENSE.txt"
  File "${VELMORA_TEXTS}/THIRD-PARTY-NOTICES.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "${MENU_LINK}" "$INSTDIR\velmora.exe" "" "$INSTDIR\velmora.exe" 0 \
    SW_SHOWNORMAL "" "通知領域のアラーム時計"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "velmora"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VELMORA_VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\velmora.exe,0"
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "ログオン時に起動する" SecAutostart
  CreateShortcut "${STARTUP_LINK}" "$INSTDIR\velmora.exe" "" "$INSTDIR\velmora.exe" 0 \
    SW_SHOWNORMAL "" "通知領域のアラーム時計"
SectionEnd

Section "-finish"
  ${IfNot} ${SectionIsSelected} ${SecAutostart}
    Delete "${STARTUP_LINK}"
  ${EndIf}
  ${GetSize} $INSTDIR "/S=0K /G=0" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
  ; The velmora closed runs again (a new one starts from the finish page).
  ${If} $WasRunning = 1
    Call StartVelmora
  ${EndIf}
SectionEnd

; After the sections, whose indices it uses.
Function .onInit
  ; Start at logon: on when new, else as before (its shortcut); /AUTOSTART= wins.
  StrCpy $Autostart 1
  ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
  ${AndIfNot} ${FileExists} "${STARTUP_LINK}"
    StrCpy $Autostart 0
  ${EndIf}
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/AUTOSTART=" $1
  ${IfNot} ${Errors}
    ${If} $1 == "0"
      StrCpy $Autostart 0
    ${ElseIf} $1 == "1"
      StrCpy $Autostart 1
    ${Else}
      MessageBox MB_OK|MB_ICONSTOP "/AUTOSTART= には 0 か 1 を指定してください。" /SD IDOK
      SetErrorLevel 2
      Quit
    ${EndIf}
  ${EndIf}
  ${If} $Autostart = 0
    !insertmacro UnselectSection ${SecAutostart}
  ${EndIf}
FunctionEnd

; The uninstaller ---------------------------------------------------------------

; Steps $R2 over the digits of $R0 there; $R3 is how many there were.
Function un.SkipDigits
  StrCpy $R3 0
  ${Do}
    StrCpy $R4 $R0 1 $R2
    IntOp $R5 $R4 + 0  ; a digit reads as itself, anything else as 0
    ${If} $R4 == ""
    ${OrIf} $R5 != $R4
      ${Break}
    ${EndIf}
    IntOp $R2 $R2 + 1
    IntOp $R3 $R3 + 1
  ${Loop}
FunctionEnd

; $R1 = 1 when the file name $R0 is an interrupted save's, as velmora clears
; them: file.txt.tmp, file.txt[.bad[N]].<digits>-<digits>.tmp (any case).
Function un.IsSaveLeftover
  StrCpy $R1 0
  ${If} $R0 == "file.txt.tmp"
    StrCpy $R1 1
    Return
  ${EndIf}
  StrCpy $R4 $R0 8
  StrCmp $R4 "file.txt" 0 done
  StrCpy $R2 8
  StrCpy $R4 $R0 4 $R2
  ${If} $R4 == ".bad"
    IntOp $R2 $R2 + 4
    Call un.SkipDigits
  ${EndIf}
  StrCpy $R4 $R0 1 $R2
  StrCmp $R4 "." 0 done
  IntOp $R2 $R2 + 1
  Call un.SkipDigits
  IntCmp $R3 0 done
  StrCpy $R4 $R0 1 $R2
  StrCmp $R4 "-" 0 done
  IntOp $R2 $R2 + 1
  Call un.SkipDigits
  IntCmp $R3 0 done
  StrCpy $R4 $R0 "" $R2
  StrCmp $R4 ".tmp" 0 done
  StrCpy $R1 1
  done:
FunctionEnd

; Deletes what interrupted saves left in $INSTDIR (un.IsSaveLeftover), and
; nothing else.
Function un.RemoveSaveLeftovers
  FindFirst $R6 $R0 "$INSTDIR\file.txt.*"
  ${DoWhile} $R0 != ""
    Call un.IsSaveLeftover
    ${If} $R1 = 1
      Delete "$INSTDIR\$R0"
    ${EndIf}
    FindNext $R6 $R0
  ${Loop}
  FindClose $R6
FunctionEnd

Section "Uninstall"
  Call un.CloseVelmora
  Delete "$INSTDIR\velmora.exe"
  Delete "$INSTDIR\README-ja.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\THIRD-PARTY-NOTICES.txt"
  Delete "${MENU_LINK}"
  Delete "${STARTUP_LINK}"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  ${If} ${FileExists} "$INSTDIR\file.txt*"
    MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 "アラームの一覧（file.txt）も削除しますか？$\r$\n$\r$\n削除しなければ、$INSTDIR に残ります。もう一度インストールすると、そのアラームをそのまま使えます。" /SD IDNO IDNO keep
    Delete "$INSTDIR\file.txt"
    Delete "$INSTDIR\file.txt.bad*"
    Call un.RemoveSaveLeftovers
    Goto asked
    keep:
    ; Without a file.txt, a leftover may be the only copy of the list: it stays.
    ${If} ${FileExists} "$INSTDIR\file.txt"
      Call un.RemoveSaveLeftovers
    ${EndIf}
    asked:
  ${EndIf}
  Delete "$INSTDIR\uninstall.exe"
  RMDir $INSTDIR
SectionEnd
