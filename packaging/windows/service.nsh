; Stopping and starting the gateway's service through the Service Control
; Manager (advapi32 through the System plugin: the answers are numbers, the
; same on a Windows of any language).
;
; StopService leaves in $ServiceState "absent" (not registered), "stopped"
; (stopped and its process ended) or "running" (it did not stop within
; $StopWaitS seconds: /STOPWAIT, else what the service itself may wait plus
; a margin).

!define SC_MANAGER_CONNECT 0x1
!define SERVICE_QUERY_STATUS 0x4
!define SERVICE_START 0x10
!define SERVICE_STOP 0x20
!define SERVICE_CONTROL_STOP 1
!define SERVICE_STOPPED 1
!define SC_STATUS_PROCESS_INFO 0
!define SYNCHRONIZE 0x100000
!define ERROR_SERVICE_ALREADY_RUNNING 1056

Var ServiceState
Var StopWaitS

; Opens the service with the access in $R9: the manager's handle in $R0, the
; service's in $R1 (0 when it is not registered).
!macro OpenService
  System::Call 'advapi32::OpenSCManagerW(p 0, p 0, i ${SC_MANAGER_CONNECT}) p .R0'
  StrCpy $R1 0
  ${If} $R0 P<> 0
    System::Call 'advapi32::OpenServiceW(p R0, w "${SERVICE}", i R9) p .R1'
  ${EndIf}
!macroend

!macro CloseService
  ${If} $R1 P<> 0
    System::Call 'advapi32::CloseServiceHandle(p R1)'
  ${EndIf}
  ${If} $R0 P<> 0
    System::Call 'advapi32::CloseServiceHandle(p R0)'
  ${EndIf}
!macroend

!macro ServiceFunctions UN
; The service's state into $R5 and its process id into $R6, read through the
; SERVICE_STATUS_PROCESS buffer at $R2.
Function ${UN}QueryService
  StrCpy $R5 0
  StrCpy $R6 0
  System::Call 'advapi32::QueryServiceStatusEx(p R1, i ${SC_STATUS_PROCESS_INFO}, p R2, i 36, *i .R3) i .R4'
  ${If} $R4 <> 0
    System::Call '*$R2(i, i .R5, i, i, i, i, i, i .R6, i)'
  ${EndIf}
FunctionEnd

; Waits, bounded by $StopWaitS seconds, for the service open in $R1 to
; report STOPPED and then for its process (the handle in $R7, 0 for none,
; closed here) to end; $ServiceState "running" when it did not stop in time.
Function ${UN}AwaitStop
  IntOp $R8 $StopWaitS * 2
  ${Do}
    Call ${UN}QueryService
    ${If} $R5 = ${SERVICE_STOPPED}
    ${OrIf} $R8 <= 0
      ${Break}
    ${EndIf}
    Sleep 500
    IntOp $R8 $R8 - 1
  ${Loop}
  ${If} $R5 <> ${SERVICE_STOPPED}
    StrCpy $ServiceState "running"
  ${ElseIf} $R7 P<> 0
    System::Call 'kernel32::WaitForSingleObject(p R7, i 30000) i'
  ${EndIf}
  ${If} $R7 P<> 0
    System::Call 'kernel32::CloseHandle(p R7)'
  ${EndIf}
FunctionEnd

Function ${UN}StopService
  StrCpy $ServiceState "absent"
  IntOp $R9 ${SERVICE_QUERY_STATUS} | ${SERVICE_STOP}
  !insertmacro OpenService
  ${If} $R1 P<> 0
    StrCpy $ServiceState "stopped"
    System::Call '*(i 0, i 0, i 0, i 0, i 0, i 0, i 0, i 0, i 0) p .R2'
    Call ${UN}QueryService
    ${If} $R5 <> ${SERVICE_STOPPED}
      DetailPrint "Parando o serviço ${SERVICE} (aguarda o fim de uma operação TEF em andamento)"
      ; The process to wait for: the service reports "stopped" a moment
      ; before its process ends and lets go of the program's files.
      System::Call 'kernel32::OpenProcess(i ${SYNCHRONIZE}, i 0, i R6) p .R7'
      System::Call 'advapi32::ControlService(p R1, i ${SERVICE_CONTROL_STOP}, p R2) i'
      ${If} $StopWaitS == ""
        ReadINIStr $R8 "$INSTDIR\SvcQuorelSiTef.ini" "server" "stop_wait_seconds"
        ${If} $R8 <= 0
          StrCpy $R8 ${STOP_WAIT_S}
        ${EndIf}
        IntOp $StopWaitS $R8 + ${STOP_MARGIN_S}
      ${EndIf}
      Call ${UN}AwaitStop
    ${EndIf}
    System::Free $R2
  ${EndIf}
  !insertmacro CloseService
FunctionEnd

Function ${UN}StartService
  StrCpy $R9 ${SERVICE_START}
  !insertmacro OpenService
  ${If} $R1 P<> 0
    DetailPrint "Iniciando o serviço ${SERVICE}"
    System::Call 'advapi32::StartServiceW(p R1, i 0, p 0) i .R4 ?e'
    Pop $R3
    ${If} $R4 = 0
    ${AndIf} $R3 <> ${ERROR_SERVICE_ALREADY_RUNNING}
      MessageBox MB_ICONEXCLAMATION "O serviço ${SERVICE} não iniciou (erro $R3); inicie-o com net start ${SERVICE}." /SD IDOK
    ${EndIf}
  ${EndIf}
  !insertmacro CloseService
FunctionEnd

; Waits, bounded by $StopWaitS seconds, for a service asked to stop to end,
; and starts it again: what an update or a removal that gave up waiting
; leaves behind, so the till gets its gateway back once the running TEF
; operation ends.
Function ${UN}RestartWhenStopped
  StrCpy $ServiceState "absent"
  StrCpy $R9 ${SERVICE_QUERY_STATUS}
  !insertmacro OpenService
  ${If} $R1 P<> 0
    StrCpy $ServiceState "stopped"
    System::Call '*(i 0, i 0, i 0, i 0, i 0, i 0, i 0, i 0, i 0) p .R2'
    Call ${UN}QueryService
    System::Call 'kernel32::OpenProcess(i ${SYNCHRONIZE}, i 0, i R6) p .R7'
    Call ${UN}AwaitStop
    System::Free $R2
  ${EndIf}
  !insertmacro CloseService
  ${If} $ServiceState == "stopped"
    Call ${UN}StartService
  ${EndIf}
FunctionEnd
!macroend

!insertmacro ServiceFunctions ""
!insertmacro ServiceFunctions "un."
