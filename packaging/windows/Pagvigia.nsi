; The Windows installer: Pagvigia.exe into a folder under Program Files, the
; service registered (Pagvigia.exe /INSTALL /SILENT), example INI files, a
; Start-menu shortcut to the status check and an uninstaller that stops and
; removes the service (/UNINSTALL /SILENT) and the files. Both run unattended
; with /S. Made by the Windows build (packaging/windows/CMakeLists.txt):
;   makensis -INPUTCHARSET UTF8 -DVERSION=<x.y.z> -DEXE=<Pagvigia.exe>
;     -DEXAMPLES=<folder> -DWINDOWS_EXAMPLES=<folder> -DOUTFILE=<installer.exe> Pagvigia.nsi
Unicode true
Target amd64-unicode
!include LogicLib.nsh

!define SERVICE SrvPagvigia
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Pagvigia"
!define SHORTCUTS "$SMPROGRAMS\Pagvigia"

Name "Pagvigia ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Pagvigia"
; An upgrade goes into the folder of the installed version.
InstallDirRegKey HKLM "${UNINST_KEY}" "InstallLocation"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
ShowInstDetails show
ShowUninstDetails show
LoadLanguageFile "${NSISDIR}/Contrib/Language files/PortugueseBR.nlf"

; Waits, up to 30 s, for the service's process to end: one that has
; reported itself stopped may still be ending, and its program cannot be
; replaced or deleted until it has. It holds Pagvigia.lock open beside the
; program while it runs, so the lock can be deleted once it has ended.
!macro WaitForServiceProcess
  StrCpy $1 0
  ${Do}
    Delete "$INSTDIR\Pagvigia.lock"
    ${If} ${FileExists} "$INSTDIR\Pagvigia.lock"
    ${AndIf} $1 < 60
      IntOp $1 $1 + 1
      Sleep 500
    ${Else}
      ${Break}
    ${EndIf}
  ${Loop}
!macroend

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  ; A service already registered (an upgrade) is stopped while its program
  ; is replaced, and keeps its registration.
  ReadRegStr $R0 HKLM "System\CurrentControlSet\Services\${SERVICE}" "ImagePath"
  ${If} $R0 != ""
    nsExec::ExecToLog '"$SYSDIR\net.exe" stop ${SERVICE}'
    Pop $0
    !insertmacro WaitForServiceProcess
  ${EndIf}
  File "${EXE}"
  SetOutPath "$INSTDIR\Exemplos"
  File "${EXAMPLES}/Gestalo.ini"
  File "${EXAMPLES}/ConfCaixa.ini"
  File "${WINDOWS_EXAMPLES}/Pagvigia.ini"
  File "${EXAMPLES}/../sql/pagvigia_envios.sql"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\Desinstalar.exe"

  ${If} $R0 == ""
    nsExec::ExecToLog '"$INSTDIR\Pagvigia.exe" /INSTALL /SILENT'
    Pop $0
    ${If} $0 != 0
      MessageBox MB_ICONSTOP "O serviço ${SERVICE} não pôde ser registrado ($0): veja os detalhes da instalação." /SD IDOK
      SetErrorLevel 2
      Abort
    ${EndIf}
  ${EndIf}

  ; The status check prints its lines in a console that stays open.
  CreateDirectory "${SHORTCUTS}"
  CreateShortcut "${SHORTCUTS}\Verificar o Pagvigia.lnk" "$SYSDIR\cmd.exe" \
    '/k ""$INSTDIR\Pagvigia.exe" /STATUS"' "$INSTDIR\Pagvigia.exe" 0 SW_SHOWNORMAL "" \
    "Verifica a configuração, o banco e as pastas do Integrador"
  CreateShortcut "${SHORTCUTS}\Pasta do Pagvigia (logs e INI).lnk" "$INSTDIR"

  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "Pagvigia"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\Pagvigia.exe"
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\Desinstalar.exe"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\Desinstalar.exe" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1

  ; Configured already (an upgrade): the service runs again. A new install
  ; waits for its INI files, then "net start SrvPagvigia".
  ${If} ${FileExists} "$INSTDIR\Gestalo.ini"
    nsExec::ExecToLog '"$SYSDIR\net.exe" start ${SERVICE}'
    Pop $0
  ${EndIf}
SectionEnd

Section Uninstall
  SetShellVarContext all
  ; Stopping lets the row in flight finish; a stopped service has nothing to stop.
  nsExec::ExecToLog '"$SYSDIR\net.exe" stop ${SERVICE}'
  Pop $0
  !insertmacro WaitForServiceProcess
  nsExec::ExecToLog '"$INSTDIR\Pagvigia.exe" /UNINSTALL /SILENT'
  Pop $0
  ${If} $0 != 0
    DetailPrint "O serviço ${SERVICE} não pôde ser removido ($0)."
  ${EndIf}
  Delete /REBOOTOK "$INSTDIR\Pagvigia.exe"
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
