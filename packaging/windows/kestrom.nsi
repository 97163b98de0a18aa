; Kestrom installer for 64-bit Windows, built on Debian by scripts/package-windows:
;   makensis -DVERSION=3.23 -DSTAGE=build-win/kestrom-3.23-win64 -DOUTFILE=... kestrom.nsi
; STAGE is the folder the zip is made from, so the installer and the zip carry the same files.
; A 64-bit installer: Wine without its 32-bit part (Debian's wine64 alone) runs it too, and
; it cannot start on 32-bit Windows, which Kestrom does not support.
Target amd64-unicode

!ifndef VERSION
  !error "define VERSION"
!endif
!ifndef STAGE
  !error "define STAGE (the staged program folder)"
!endif
!ifndef OUTFILE
  !define OUTFILE "kestrom-${VERSION}-win64-setup.exe"
!endif

Name "Kestrom ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Kestrom"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
!define UNINSTKEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Kestrom"

Page components
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Kestrom (required)" SecMain
  SectionIn RO
  ; Shortcuts for every user of the machine, as the programs are installed for all.
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File "${STAGE}\kestromd.exe"
  File "${STAGE}\kestrom-client.exe"
  File "${STAGE}\README.txt"
  File "${STAGE}\LICENSE-cpp-httplib.txt"
  ; The desktop window is packaged once it is built; the installer takes it when staged.
!if /FileExists "${STAGE}\kestrom.exe"
  File "${STAGE}\kestrom.exe"
!endif
  SetOutPath "$INSTDIR\manual"
  File /r "${STAGE}\manual\*.*"
  SetOutPath "$INSTDIR\examples\meet"
  File /r "${STAGE}\examples\meet\*.*"
  SetOutPath "$INSTDIR"

  CreateDirectory "$SMPROGRAMS\Kestrom"
  CreateShortcut "$SMPROGRAMS\Kestrom\Kestrom manual.lnk" "$INSTDIR\manual\index.html"
  ; Program Files is read-only for operators, so the sample meet keeps its settings and
  ; results under the user's own %APPDATA%; cmd expands it when the entry is run, and /k
  ; keeps the console open to show why the server stopped.
  CreateShortcut "$SMPROGRAMS\Kestrom\Kestrom (sample meet).lnk" "$SYSDIR\cmd.exe" \
    '/k "md "%APPDATA%\Kestrom\sample\results" 2>nul & "$INSTDIR\kestromd.exe" --config-dir "%APPDATA%\Kestrom\sample" --event-dir "$INSTDIR\examples\meet" --results-dir "%APPDATA%\Kestrom\sample\results""' \
    "$INSTDIR\kestromd.exe" 0
!if /FileExists "${STAGE}\kestrom.exe"
  CreateShortcut "$SMPROGRAMS\Kestrom\Kestrom.lnk" "$INSTDIR\kestrom.exe"
!endif

  WriteUninstaller "$INSTDIR\Uninstall.exe"
  WriteRegStr HKLM "${UNINSTKEY}" "DisplayName" "Kestrom ${VERSION}"
  WriteRegStr HKLM "${UNINSTKEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTKEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTKEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTKEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTKEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTKEY}" "NoRepair" 1
SectionEnd

; Unticked: a service starts with Windows and serves the network, which an operator asks for.
; It runs as LocalSystem, whose own profile nobody looks into, so its settings, access list
; and kestromd.log go to the machine's %ProgramData%\Kestrom ($APPDATA for all users), and
; the sample meet's results beside them.
Section /o "Windows service" SecService
  SetShellVarContext all
  CreateDirectory "$APPDATA\Kestrom\sample\results"
  nsExec::ExecToLog '"$INSTDIR\kestromd.exe" --install-service --config-dir "$APPDATA\Kestrom" --event-dir "$INSTDIR\examples\meet" --results-dir "$APPDATA\Kestrom\sample\results"'
  Pop $0
  StrCmp $0 "0" +3
    DetailPrint "kestromd.exe --install-service failed ($0); the service is not installed"
    Goto serviceDone
  nsExec::ExecToLog '"$SYSDIR\sc.exe" start Kestrom'
  Pop $0
  serviceDone:
SectionEnd

; "/SERVICE" on the command line ticks the service, so that a silent install (/S) can have it.
!include FileFunc.nsh
!include Sections.nsh
Function .onInit
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/SERVICE" $R1
  IfErrors serviceOptionDone
    !insertmacro SelectSection ${SecService}
  serviceOptionDone:
FunctionEnd

Section "Uninstall"
  SetShellVarContext all
  ; First, while kestromd.exe is still there: a running service is stopped (its settings
  ; saved) and removed. Nothing to do when the service was never installed.
  nsExec::ExecToLog '"$INSTDIR\kestromd.exe" --uninstall-service'
  Pop $0
  Delete "$SMPROGRAMS\Kestrom\Kestrom manual.lnk"
  Delete "$SMPROGRAMS\Kestrom\Kestrom (sample meet).lnk"
  Delete "$SMPROGRAMS\Kestrom\Kestrom.lnk"
  RMDir "$SMPROGRAMS\Kestrom"
  Delete "$INSTDIR\kestromd.exe"
  Delete "$INSTDIR\kestrom-client.exe"
  Delete "$INSTDIR\kestrom.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE-cpp-httplib.txt"
  RMDir /r "$INSTDIR\manual"
  RMDir /r "$INSTDIR\examples"
  DeleteRegKey HKLM "${UNINSTKEY}"
  Delete "$INSTDIR\Uninstall.exe"
  ; Only when empty: an operator's own files in the folder stay.
  RMDir "$INSTDIR"
SectionEnd
