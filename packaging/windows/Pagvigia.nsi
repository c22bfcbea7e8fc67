; The Windows installer: Pagvigia.exe into a folder under Program Files, the
; service registered (Pagvigia.exe /INSTALL /SILENT), example INI files, a
; Start-menu shortcut to the status check and an uninstaller that stops and
; removes the service (/UNINSTALL /SILENT) and the files. Both run unattended
; with /S. It carries the 64-bit and the 32-bit program and installs the one
; that fits the Firebird client library the program will load (/ARQ=32 or
; /ARQ=64 chooses). Made by the Windows build (packaging/windows/CMakeLists.txt):
;   makensis -INPUTCHARSET UTF8 -DVERSION=<x.y.z> -DEXE=<64-bit Pagvigia.exe>
;     -DEXE32=<32-bit Pagvigia.exe> -DEXAMPLES=<folder> -DWINDOWS_EXAMPLES=<folder>
;     -DOUTFILE=<installer.exe> Pagvigia.nsi
; The installer itself is a 32-bit program (-DTARGET=x86-unicode, as the
; build makes it), which runs on 32-bit and 64-bit Windows; -DTARGET=amd64-unicode
; makes a 64-bit twin, which the test uses where 32-bit Wine is missing.
Unicode true
!ifndef TARGET
  !define TARGET amd64-unicode
!endif
Target ${TARGET}
!include LogicLib.nsh
!include x64.nsh
!include FileFunc.nsh

!define SERVICE SrvPagvigia
!define SERVICE_KEY "System\CurrentControlSet\Services\${SERVICE}"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Pagvigia"
!define EVENT_SOURCE_KEY "System\CurrentControlSet\Services\EventLog\Application\Pagvigia.exe"
!define FIREBIRD_KEY "SOFTWARE\Firebird Project\Firebird Server\Instances"
!define SHORTCUTS "$SMPROGRAMS\Pagvigia"
; The service's time limit for an exchange with the Integrador when
; Pagvigia.ini gives none ([Integrador] Timeout, seconds).
!define INTEGRADOR_TIMEOUT 30

Name "Pagvigia ${VERSION}"
OutFile "${OUTFILE}"
; On 32-bit Windows $PROGRAMFILES64 is the one Program Files folder.
InstallDir "$PROGRAMFILES64\Pagvigia"
; An upgrade goes into the folder of the installed version.
InstallDirRegKey HKLM "${UNINST_KEY}" "InstallLocation"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
ShowInstDetails show
ShowUninstDetails show
LoadLanguageFile "${NSISDIR}/Contrib/Language files/PortugueseBR.nlf"

Var ServiceImage  ; the registered service's ImagePath ("" when not registered)
Var OldDir        ; the folder of the program the service runs
Var ArqAsked      ; /ARQ= on the command line: "32", "64" or ""
Var Arq           ; the program installed: "32" or "64"
Var ArqWhy
Var Windows32     ; 1 on 32-bit Windows (only a 32-bit installer runs there)

; Waits for the service's process to end: one that has reported itself
; stopped may still be ending, and its program cannot be replaced or deleted
; until it has. A stop lets the exchange with the Integrador in flight end,
; so the wait covers that exchange's time limit (the Pagvigia.ini beside the
; program) and 30 s more. The process holds Pagvigia.lock open beside the
; program while it runs, so the lock can be deleted once it has ended.
!macro WaitForServiceProcess FOLDER
  ReadINIStr $2 "${FOLDER}\Pagvigia.ini" Integrador Timeout
  IntOp $2 $2 + 0
  ${If} $2 < 1
    StrCpy $2 ${INTEGRADOR_TIMEOUT}
  ${EndIf}
  IntOp $2 $2 + 30
  IntOp $2 $2 * 2
  StrCpy $1 0
  ${Do}
    Delete "${FOLDER}\Pagvigia.lock"
    ${If} ${FileExists} "${FOLDER}\Pagvigia.lock"
    ${AndIf} $1 < $2
      IntOp $1 $1 + 1
      Sleep 500
    ${Else}
      ${Break}
    ${EndIf}
  ${Loop}
!macroend

; The folder of the program a service's ImagePath names ("C:\x\Pagvigia.exe",
; quoted or not). In and out on the stack.
!macro ProgramDirOf UN
Function ${UN}ProgramDirOf
  Exch $0
  Push $1
  Push $2
  StrCpy $1 $0 1
  ${If} $1 == '"'
    StrCpy $0 $0 "" 1
    StrCpy $2 0
    ${Do}
      StrCpy $1 $0 1 $2
      ${If} $1 == '"'
      ${OrIf} $1 == ""
        ${Break}
      ${EndIf}
      IntOp $2 $2 + 1
    ${Loop}
    StrCpy $0 $0 $2
  ${EndIf}
  ${GetParent} $0 $0
  Pop $2
  Pop $1
  Exch $0
FunctionEnd
!macroend
!insertmacro ProgramDirOf ""
!insertmacro ProgramDirOf "un."

; The machine a PE file (a program or a library) is built for: "64" (x64,
; 0x8664), "32" (x86, 0x014C), or "" (another one, or not a PE file). Its
; header's offset (e_lfanew) is at 0x3C; there "PE\0\0", then the machine.
; In and out on the stack.
Function PeMachine
  Exch $0
  Push $1
  Push $2
  Push $3
  Push $4
  StrCpy $4 ""
  ClearErrors
  FileOpen $1 $0 r
  ${IfNot} ${Errors}
    FileReadByte $1 $2
    FileReadByte $1 $3
    ${If} $2 == 77  ; "MZ"
    ${AndIf} $3 == 90
      FileSeek $1 60 SET
      FileReadByte $1 $0
      FileReadByte $1 $2
      IntOp $2 $2 << 8
      IntOp $0 $0 | $2
      FileReadByte $1 $2
      IntOp $2 $2 << 16
      IntOp $0 $0 | $2
      FileReadByte $1 $2
      IntOp $2 $2 << 24
      IntOp $0 $0 | $2
      FileSeek $1 $0 SET
      StrCpy $0 ""
      ${For} $2 1 4
        FileReadByte $1 $3
        StrCpy $0 "$0$3,"
      ${Next}
      ${If} $0 == "80,69,0,0,"  ; "PE\0\0"
        FileReadByte $1 $2
        FileReadByte $1 $3
        IntOp $3 $3 << 8
        IntOp $2 $2 | $3
        ${If} $2 = 34404  ; 0x8664
          StrCpy $4 64
        ${ElseIf} $2 = 332  ; 0x014C
          StrCpy $4 32
        ${EndIf}
      ${EndIf}
    ${EndIf}
    FileClose $1
  ${EndIf}
  StrCpy $0 $4
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Exch $0
FunctionEnd

; Which program goes in: the one asked for; on 32-bit Windows the 32-bit one;
; otherwise the one that can load the Firebird client library it will find:
; fbclient.dll beside it, else the Firebird installation the registry names
; (a 64-bit one in the registry's 64-bit view, a 32-bit one only in the
; 32-bit view), else fbclient.dll in the system folder of 64-bit programs
; (System32) or of 32-bit ones (SysWOW64); else the 64-bit one.
Function ChooseProgram
  ${If} $ArqAsked != ""
    StrCpy $Arq $ArqAsked
    StrCpy $ArqWhy "pedido na linha de comando (/ARQ=$ArqAsked)"
    Return
  ${EndIf}
  ${If} $Windows32 = 1
    StrCpy $Arq 32
    StrCpy $ArqWhy "o Windows é de 32 bits"
    Return
  ${EndIf}
  Push "$INSTDIR\fbclient.dll"
  Call PeMachine
  Pop $0
  ${If} $0 != ""
    StrCpy $Arq $0
    StrCpy $ArqWhy "a biblioteca cliente do Firebird na pasta do programa ($INSTDIR\fbclient.dll) é de $0 bits"
    Return
  ${EndIf}
  SetRegView 64
  ReadRegStr $0 HKLM "${FIREBIRD_KEY}" "DefaultInstance"
  SetRegView 32
  ReadRegStr $1 HKLM "${FIREBIRD_KEY}" "DefaultInstance"
  SetRegView 64
  ${If} $0 != ""
    StrCpy $Arq 64
    StrCpy $ArqWhy "o Firebird instalado em $0 é de 64 bits"
    Return
  ${ElseIf} $1 != ""
    StrCpy $Arq 32
    StrCpy $ArqWhy "o Firebird instalado em $1 é de 32 bits"
    Return
  ${EndIf}
  StrCpy $Arq ""
  !if ${NSIS_PTR_SIZE} <= 4
    ${DisableX64FSRedirection}
  !endif
  ${If} ${FileExists} "$WINDIR\System32\fbclient.dll"
    StrCpy $Arq 64
    StrCpy $ArqWhy "há uma biblioteca cliente do Firebird de 64 bits em $WINDIR\System32"
  ${ElseIf} ${FileExists} "$WINDIR\SysWOW64\fbclient.dll"
    StrCpy $Arq 32
    StrCpy $ArqWhy "há uma biblioteca cliente do Firebird de 32 bits em $WINDIR\SysWOW64"
  ${EndIf}
  !if ${NSIS_PTR_SIZE} <= 4
    ${EnableX64FSRedirection}
  !endif
  ${If} $Arq == ""
    StrCpy $Arq 64
    StrCpy $ArqWhy "nenhuma biblioteca cliente do Firebird encontrada: o padrão é o de 64 bits"
  ${EndIf}
FunctionEnd

; Everything under the folder runs as LocalSystem, so only the system and
; administrators may change it. Program Files gives that to the folders in
; it; a folder elsewhere (C:\Pagvigia) would inherit from its drive's root,
; which lets any signed-in user change it. Such a folder gets its own access
; (by SID, which every language of Windows knows) before anything is copied
; into it; without that, nothing is installed.
!macro ReturnIfUnder FOLDER
  StrLen $1 "${FOLDER}\"
  StrCpy $2 "$INSTDIR\" $1
  ${If} $2 == "${FOLDER}\"
    Return
  ${EndIf}
!macroend
Function SecureFolder
  !insertmacro ReturnIfUnder "$PROGRAMFILES64"
  !insertmacro ReturnIfUnder "$PROGRAMFILES32"
  CreateDirectory "$INSTDIR"
  DetailPrint "A pasta $INSTDIR fica fora de Arquivos de Programas: o acesso a ela fica restrito ao sistema e aos administradores."
  nsExec::ExecToLog '"$SYSDIR\icacls.exe" "$INSTDIR" /inheritance:r /grant:r *S-1-5-18:(OI)(CI)F *S-1-5-32-544:(OI)(CI)F *S-1-5-32-545:(OI)(CI)RX'
  Pop $0
  ${If} $0 != 0
    RMDir "$INSTDIR"
    MessageBox MB_ICONSTOP "O acesso à pasta $INSTDIR não pôde ser restrito ao sistema e aos administradores (icacls: $0), e o serviço rodaria com a conta do sistema programas que outros usuários podem trocar. Instale numa pasta dentro de $PROGRAMFILES64 ou corrija o acesso à pasta." /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}
FunctionEnd

!macro CopyFromOldDir NAME
  ${If} ${FileExists} "$OldDir\${NAME}"
  ${AndIfNot} ${FileExists} "$INSTDIR\${NAME}"
    CopyFiles /SILENT "$OldDir\${NAME}" "$INSTDIR\${NAME}"
    DetailPrint "${NAME} copiado de $OldDir"
  ${EndIf}
!macroend

; Which Windows this is, and the registry's 64-bit view on 64-bit Windows
; (the uninstall entry and the Firebird installation are read there).
!macro FindWindowsBits
  StrCpy $Windows32 0
  !if ${NSIS_PTR_SIZE} <= 4
    ${IfNot} ${RunningX64}
      StrCpy $Windows32 1
    ${EndIf}
  !endif
  ${If} $Windows32 = 0
    SetRegView 64
  ${EndIf}
!macroend

Function .onInit
  !insertmacro FindWindowsBits
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/ARQ=" $ArqAsked
  ${If} ${Errors}
    StrCpy $ArqAsked ""
  ${ElseIf} $ArqAsked == 64
    ${If} $Windows32 = 1
      MessageBox MB_ICONSTOP "/ARQ=64: o programa de 64 bits não roda neste Windows de 32 bits." /SD IDOK
      SetErrorLevel 2
      Abort
    ${EndIf}
  ${ElseIf} $ArqAsked != 32
    MessageBox MB_ICONSTOP "/ARQ=$ArqAsked não é válido: use /ARQ=32 ou /ARQ=64." /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}
FunctionEnd

Function un.onInit
  !insertmacro FindWindowsBits
FunctionEnd

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section
  SetShellVarContext all
  Call SecureFolder
  Call ChooseProgram
  ; A service already registered (an upgrade) is stopped while its program
  ; is replaced, and keeps its registration.
  ReadRegStr $ServiceImage HKLM "${SERVICE_KEY}" "ImagePath"
  StrCpy $OldDir "$INSTDIR"
  ${If} $ServiceImage != ""
    Push $ServiceImage
    Call ProgramDirOf
    Pop $OldDir
    ${If} $OldDir == ""
      StrCpy $OldDir "$INSTDIR"
    ${EndIf}
    nsExec::ExecToLog '"$SYSDIR\net.exe" stop ${SERVICE}'
    Pop $0
    !insertmacro WaitForServiceProcess "$OldDir"
  ${EndIf}
  SetOutPath "$INSTDIR"
  ; Moving to another folder: the service reads its settings beside itself.
  ${If} $OldDir != "$INSTDIR"
    !insertmacro CopyFromOldDir Gestalo.ini
    !insertmacro CopyFromOldDir Pagvigia.ini
    ; The Firebird client comes with files of its own; it is not moved.
    ${If} ${FileExists} "$OldDir\fbclient.dll"
    ${AndIfNot} ${FileExists} "$INSTDIR\fbclient.dll"
      DetailPrint "A biblioteca cliente do Firebird (fbclient.dll) ficou em $OldDir: copie-a para $INSTDIR com os arquivos que a acompanham, ou instale o cliente do Firebird."
    ${EndIf}
  ${EndIf}
  ${If} $Arq == 32
    File "/oname=Pagvigia.exe" "${EXE32}"
  ${Else}
    File "${EXE}"
  ${EndIf}
  DetailPrint "Instalado o Pagvigia.exe de $Arq bits: $ArqWhy."
  SetOutPath "$INSTDIR\Exemplos"
  File "${EXAMPLES}/Gestalo.ini"
  File "${EXAMPLES}/ConfCaixa.ini"
  File "${WINDOWS_EXAMPLES}/Pagvigia.ini"
  File "${EXAMPLES}/../sql/pagvigia_envios.sql"
  SetOutPath "$INSTDIR"

  ; The uninstaller and its entry come before the service is registered, so
  ; that an install that stops there can still be removed.
  WriteUninstaller "$INSTDIR\Desinstalar.exe"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "Pagvigia"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\Pagvigia.exe"
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\Desinstalar.exe"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\Desinstalar.exe" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1

  ; The status check prints its lines in a console that stays open. It runs
  ; as administrator (the link's "run as administrator" flag, bit 0x20 of the
  ; byte at 0x15), the nearest a person gets to what the service may do
  ; under the system's account; what differs still (drive letters mapped by
  ; the user) it tells itself.
  CreateDirectory "${SHORTCUTS}"
  CreateShortcut "${SHORTCUTS}\Verificar o Pagvigia.lnk" "$SYSDIR\cmd.exe" \
    '/k ""$INSTDIR\Pagvigia.exe" /STATUS"' "$INSTDIR\Pagvigia.exe" 0 SW_SHOWNORMAL "" \
    "Verifica a configuração, o banco e as pastas do Integrador"
  ClearErrors
  FileOpen $0 "${SHORTCUTS}\Verificar o Pagvigia.lnk" a
  ${IfNot} ${Errors}
    FileSeek $0 21 SET
    FileReadByte $0 $1
    IntOp $1 $1 | 0x20
    FileSeek $0 21 SET
    FileWriteByte $0 $1
    FileClose $0
  ${EndIf}
  CreateShortcut "${SHORTCUTS}\Pasta do Pagvigia (logs e INI).lnk" "$INSTDIR"

  ${If} $ServiceImage == ""
    nsExec::ExecToLog '"$INSTDIR\Pagvigia.exe" /INSTALL /SILENT'
    Pop $0
    ${If} $0 != 0
      MessageBox MB_ICONSTOP "O serviço ${SERVICE} não pôde ser registrado ($0): veja os detalhes da instalação. O Pagvigia pode ser removido pelo desinstalador." /SD IDOK
      SetErrorLevel 2
      Abort
    ${EndIf}
  ${ElseIf} $OldDir != "$INSTDIR"
    ; The registered service moves to the new program, keeping the rest of
    ; its registration (account, recovery); the event log reads its texts
    ; from the new program too.
    StrCpy $3 '"$INSTDIR\Pagvigia.exe"'
    System::Call 'advapi32::OpenSCManagerW(p 0, p 0, i 1) p.r1'  ; SC_MANAGER_CONNECT
    System::Call 'advapi32::OpenServiceW(p r1, w "${SERVICE}", i 2) p.r2'  ; SERVICE_CHANGE_CONFIG
    ; SERVICE_NO_CHANGE for the type, the start and the error control.
    System::Call 'advapi32::ChangeServiceConfigW(p r2, i -1, i -1, i -1, w r3, p 0, p 0, p 0, p 0, p 0, p 0) i.r0 ?e'
    Pop $4
    System::Call 'advapi32::CloseServiceHandle(p r2)'
    System::Call 'advapi32::CloseServiceHandle(p r1)'
    ${If} $0 == 0
      ${If} ${FileExists} "$OldDir\Gestalo.ini"
        nsExec::ExecToLog '"$SYSDIR\net.exe" start ${SERVICE}'
        Pop $0
      ${EndIf}
      MessageBox MB_ICONSTOP "O serviço ${SERVICE} não pôde passar a usar $INSTDIR\Pagvigia.exe (erro $4) e continua com o programa de $OldDir." /SD IDOK
      SetErrorLevel 2
      Abort
    ${EndIf}
    WriteRegExpandStr HKLM "${EVENT_SOURCE_KEY}" "EventMessageFile" "$INSTDIR\Pagvigia.exe"
    DetailPrint "O serviço ${SERVICE} passou de $OldDir para $INSTDIR."
    Delete "$OldDir\Pagvigia.exe"
    Delete "$OldDir\Desinstalar.exe"
    Delete "$OldDir\Pagvigia.lock"
    Delete "$OldDir\Exemplos\Gestalo.ini"
    Delete "$OldDir\Exemplos\ConfCaixa.ini"
    Delete "$OldDir\Exemplos\Pagvigia.ini"
    Delete "$OldDir\Exemplos\pagvigia_envios.sql"
    RMDir "$OldDir\Exemplos"
    RMDir "$OldDir"
    ${If} ${FileExists} "$OldDir\*.*"
      DetailPrint "A pasta anterior $OldDir fica com os arquivos INI e os logs; apague-a quando não precisar mais deles."
    ${EndIf}
  ${EndIf}

  ; Configured already (an upgrade): the service runs again. A new install
  ; waits for its INI files, then "net start SrvPagvigia".
  ${If} ${FileExists} "$INSTDIR\Gestalo.ini"
    nsExec::ExecToLog '"$SYSDIR\net.exe" start ${SERVICE}'
    Pop $0
  ${EndIf}
SectionEnd

Section Uninstall
  SetShellVarContext all
  ; Only the service that runs this folder's program is stopped and removed:
  ; an install that stopped before registering it has none, and a service
  ; moved to another folder is that folder's.
  ReadRegStr $ServiceImage HKLM "${SERVICE_KEY}" "ImagePath"
  ${If} $ServiceImage == ""
    DetailPrint "O serviço ${SERVICE} não está registrado."
  ${Else}
    Push $ServiceImage
    Call un.ProgramDirOf
    Pop $OldDir
    ${If} $OldDir != "$INSTDIR"
      DetailPrint "O serviço ${SERVICE} roda o programa de $OldDir e fica como está."
    ${Else}
      ; Stopping lets the row in flight finish; a stopped service has nothing to stop.
      nsExec::ExecToLog '"$SYSDIR\net.exe" stop ${SERVICE}'
      Pop $0
      !insertmacro WaitForServiceProcess "$INSTDIR"
      nsExec::ExecToLog '"$INSTDIR\Pagvigia.exe" /UNINSTALL /SILENT'
      Pop $0
      ${If} $0 != 0
        DetailPrint "O serviço ${SERVICE} não pôde ser removido ($0)."
      ${EndIf}
    ${EndIf}
  ${EndIf}
  Delete /REBOOTOK "$INSTDIR\Pagvigia.exe"
  Delete "$INSTDIR\Pagvigia.lock"
  ; What the service wrote beside itself; the shop's INI files stay.
  Delete "$INSTDIR\Pagvigia.log"
  Delete "$INSTDIR\Pagvigia.log.1"
  Delete "$INSTDIR\Pagvigia_Integrador.log"
  Delete "$INSTDIR\Pagvigia_Integrador.log.1"
  Delete "$INSTDIR\Pagvigia_UltimoCiclo.txt"
  Delete "$INSTDIR\*.tmp"
  Delete "$INSTDIR\Exemplos\Gestalo.ini"
  Delete "$INSTDIR\Exemplos\ConfCaixa.ini"
  Delete "$INSTDIR\Exemplos\Pagvigia.ini"
  Delete "$INSTDIR\Exemplos\pagvigia_envios.sql"
  RMDir "$INSTDIR\Exemplos"
  Delete "${SHORTCUTS}\Verificar o Pagvigia.lnk"
  Delete "${SHORTCUTS}\Pasta do Pagvigia (logs e INI).lnk"
  RMDir "${SHORTCUTS}"
  DeleteRegKey HKLM "${UNINST_KEY}"
  Delete "$INSTDIR\Desinstalar.exe"
  RMDir "$INSTDIR"
SectionEnd
