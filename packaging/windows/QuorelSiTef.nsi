; The Windows installer of the gateway, one per architecture:
;
;   makensis -DARCH=x86_64|i686 -DVERSION=a.b.c.d -DAPPDIR=DIR -DOUTFILE=FILE QuorelSiTef.nsi
;
; APPDIR is an app folder laid out by scripts/build-windows.sh for ARCH. The
; installer puts the program under Program Files, registers and starts the
; service, and adds the entry of the system's list of installed programs.
; Over an installed one it stops the service (waiting, bounded, for it to
; end), replaces the program and starts it again. TEF\, Outbox\, Log\,
; Certificado\ and the INI belong to the store: neither the installer nor the
; uninstaller ever deletes or overwrites them.
;
; Command line: /S (silent), /STANDIN (selects the stand-in library
; component), /STOPWAIT=SECONDS (how long to wait for the service to stop),
; /D=FOLDER (installation folder, last). /RESTARTSERVICE (installer and
; uninstaller) is their own: see LeaveRestarter.

!ifndef ARCH | VERSION | APPDIR | OUTFILE
  !error "usage: makensis -DARCH=x86_64|i686 -DVERSION=a.b.c.d -DAPPDIR=DIR -DOUTFILE=FILE"
!endif

Unicode true
!if ${ARCH} == x86_64
  Target amd64-unicode
  !define PROGRAMS "$PROGRAMFILES64"
!else if ${ARCH} == i686
  Target x86-unicode
  !define PROGRAMS "$PROGRAMFILES"
!else
  !error "ARCH must be x86_64 or i686"
!endif

!define PRODUCT "QuorelSiTef"
!define PUBLISHER "Quorel"
!define SERVICE "QuorelSiTefService"
!define EXE "SvcQuorelSiTef.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
; How long the service may take to stop: it waits for a running TEF
; operation to end first, for the INI's [server] stop_wait_seconds (by
; default STOP_WAIT_S), and then needs a moment to close.
!define STOP_WAIT_S 300
!define STOP_MARGIN_S 30
; How long the copy left behind by an update or removal that gave up waits
; for the service to stop before it starts it again.
!define RESTART_WAIT_S 3600

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include Sections.nsh

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "${PROGRAMS}\${PRODUCT}"
; An installed one is updated in place.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey /LANG=0 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=0 "LegalCopyright" "${PUBLISHER}"
VIAddVersionKey /LANG=0 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=0 "FileDescription" "Instalador do ${PRODUCT}"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"

!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "PortugueseBR"

!include "service.nsh"

; An update or removal that gave up waiting has already asked the service to
; stop: it stops once the running TEF operation ends, and nothing would start
; it again. A copy of this program in the temporary folder (the program
; itself may be deleted, and $PLUGINSDIR goes when it exits) runs detached
; with /RESTARTSERVICE: it waits for the service to stop and starts it. TAIL
; ends its command line (the uninstaller's copy runs in place with _?=).
!macro RestarterFunctions UN TAIL
Function ${UN}LeaveRestarter
  GetTempFileName $0
  Delete $0
  StrCpy $0 "$0.exe"
  CopyFiles /SILENT "$EXEPATH" "$0"
  Exec '"$0" /S /RESTARTSERVICE${TAIL}'
FunctionEnd

; With /RESTARTSERVICE on the command line: waits for the service, starts it
; and quits.
Function ${UN}RestartOnRequest
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/RESTARTSERVICE" $1
  ${IfNot} ${Errors}
    StrCpy $StopWaitS ${RESTART_WAIT_S}
    Call ${UN}RestartWhenStopped
    Delete /REBOOTOK "$EXEPATH"
    Quit
  ${EndIf}
FunctionEnd
!macroend

!insertmacro RestarterFunctions "" ""
!insertmacro RestarterFunctions "un." " _?=$TEMP"

; The service runs the program of the folder it was registered from: an
; installation into another folder would leave it running the old program,
; and the backups of pending transactions in the old folder's TEF\. Such an
; installation changes nothing. The registered path may be quoted or not, be
; followed by arguments, hold environment variables (a service registered by
; another tool or an older program), and name the folder in another case or
; in short names: the folders are compared as the file system sees them.
Function CheckServiceFolder
  ReadRegStr $0 HKLM "SYSTEM\CurrentControlSet\Services\${SERVICE}" "ImagePath"
  ${If} $0 != ""
    ExpandEnvStrings $1 $0
    StrCpy $2 $1 1
    ${If} $2 == '"'
      StrCpy $1 $1 "" 1
    ${EndIf}
    ; The program's path ends at the first ".exe" followed by the closing
    ; quote, a space or the end.
    StrCpy $2 0
    ${Do}
      StrCpy $3 $1 5 $2
      StrCpy $4 $3 4
      ${If} $4 == ".exe"
        StrCpy $4 $3 1 4
        ${If} $4 == ""
        ${OrIf} $4 == '"'
        ${OrIf} $4 == " "
          IntOp $2 $2 + 4
          StrCpy $1 $1 $2
          ${ExitDo}
        ${EndIf}
      ${ElseIf} $3 == ""
        ${ExitDo}
      ${EndIf}
      IntOp $2 $2 + 1
    ${Loop}
    ${GetParent} $1 $1
    ${If} $1 != $INSTDIR
      ; Empty for a folder that does not exist.
      GetFullPathName /SHORT $2 $1
      GetFullPathName /SHORT $3 $INSTDIR
      ${If} $2 == ""
      ${OrIf} $2 != $3
        MessageBox MB_ICONSTOP "O serviço ${SERVICE} está registrado para outra pasta ($0); nada foi alterado. Atualize a instalação daquela pasta, ou remova-a antes." /SD IDOK
        SetErrorLevel 2
        Abort
      ${EndIf}
    ${EndIf}
  ${EndIf}
FunctionEnd

Section "${PRODUCT}" SecProgram
  SectionIn RO
  Call CheckServiceFolder
  SetOutPath "$INSTDIR"
  Call StopService
  ${If} $ServiceState == "running"
    Call LeaveRestarter
    MessageBox MB_ICONSTOP "O serviço ${SERVICE} não parou em $StopWaitS s (uma operação TEF pode estar em andamento); nada foi alterado. Tente de novo com o caixa livre." /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}

  File "${APPDIR}\${EXE}"
  File "${APPDIR}\SvcQuorelSiTefWindow.dll"
  ${IfNot} ${FileExists} "$INSTDIR\SvcQuorelSiTef.ini"
    File "${APPDIR}\SvcQuorelSiTef.ini"
  ${EndIf}
  CreateDirectory "$INSTDIR\dll"
  CreateDirectory "$INSTDIR\Certificado"
  CreateDirectory "$INSTDIR\Log"
  CreateDirectory "$INSTDIR\TEF"
  CreateDirectory "$INSTDIR\Outbox"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${EXE}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section /o "Biblioteca CliSiTef substituta (testes, não para a loja)" SecStandIn
  SetOutPath "$INSTDIR\dll"
  File "${APPDIR}\dll\CliSiTef32I.dll"
  SetOutPath "$INSTDIR"
  File "${APPDIR}\SumatraPDF.exe"
  File "${APPDIR}\libmupdf.dll"
  ; The uninstaller removes these files only when this component put them
  ; there: otherwise they are the store's library and printing program.
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "StandIn" 1
SectionEnd

; Last: the service starts on the files the sections above installed.
Section "-Service"
  ${If} $ServiceState == "absent"
    DetailPrint "Registrando o serviço ${SERVICE}"
    nsExec::ExecToLog '"$INSTDIR\${EXE}" /install'
    Pop $0
    ${If} $0 != 0
      MessageBox MB_ICONSTOP "Não foi possível registrar o serviço ${SERVICE} ($0)." /SD IDOK
      SetErrorLevel 2
      Abort
    ${EndIf}
  ${EndIf}
  Call StartService
SectionEnd

Function .onInit
  Call RestartOnRequest
  !if ${ARCH} == x86_64
    SetRegView 64
  !endif
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/STANDIN" $1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecStandIn}
  ${EndIf}
  ClearErrors
  ${GetOptions} $0 "/STOPWAIT=" $1
  ${IfNot} ${Errors}
  ${AndIf} $1 > 0
    IntOp $StopWaitS $1 + 0
  ${EndIf}
FunctionEnd

Section "Uninstall"
  Call un.StopService
  ${If} $ServiceState == "running"
    Call un.LeaveRestarter
    MessageBox MB_ICONSTOP "O serviço ${SERVICE} não parou em $StopWaitS s (uma operação TEF pode estar em andamento); nada foi removido. Tente de novo com o caixa livre." /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}
  ${If} $ServiceState != "absent"
    DetailPrint "Removendo o serviço ${SERVICE}"
    nsExec::ExecToLog '"$INSTDIR\${EXE}" /uninstall'
    Pop $0
  ${EndIf}

  Delete "$INSTDIR\${EXE}"
  Delete "$INSTDIR\SvcQuorelSiTefWindow.dll"
  Delete "$INSTDIR\Temp.pdf"
  ReadRegDWORD $0 HKLM "${UNINSTALL_KEY}" "StandIn"
  ${If} $0 == 1
    Delete "$INSTDIR\dll\CliSiTef32I.dll"
    Delete "$INSTDIR\dll\CliSiTefSim.json"
    Delete "$INSTDIR\dll\CliSiTefSim.ledger"
    Delete "$INSTDIR\SumatraPDF.exe"
    Delete "$INSTDIR\libmupdf.dll"
  ${EndIf}
  ; Only when nothing of the store's is left in it.
  RMDir "$INSTDIR\dll"
  Delete "$INSTDIR\uninstall.exe"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  RMDir "$INSTDIR"
SectionEnd

Function un.onInit
  Call un.RestartOnRequest
  !if ${ARCH} == x86_64
    SetRegView 64
  !endif
FunctionEnd
