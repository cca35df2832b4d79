; Vorlane's installer, cut down to what every product installer must do before it replaces the
; files of an installation: stop the installation's running Vorlane.exe through Haltgate, and
; replace nothing unless Haltgate's exit code is 0. The guide is docs/installer.md; the Wine test
; tests/e2e/nsis_installer builds this script and runs the installer.
;
;   makensis -DHALTGATE=<Haltgate.exe> -DPAYLOAD=<folder of the files to install>
;            [-DHALTGATE_TIMEOUT_MS=<100..120000>] [-DOUTFILE=<installer.exe>] vorlane-setup.nsi
;
; Installer command line: [/S] [/RESULT=<file>] [/D=<installation folder>] (/D= comes last).
; Exit codes: 0 installed; otherwise nothing was replaced: 10, 11 or 12 as Haltgate said, or 2
; when Haltgate could not be started. /RESULT= names a file that receives the message shown on
; failure (UTF-16), for callers that run the installer silently.
Unicode true
Target amd64-unicode

!include "LogicLib.nsh"
!include "FileFunc.nsh"

!ifndef HALTGATE
  !error "Define HALTGATE: the Haltgate.exe to ship"
!endif
!ifndef PAYLOAD
  !error "Define PAYLOAD: the folder of the files to install"
!endif
!ifndef HALTGATE_TIMEOUT_MS
  !define HALTGATE_TIMEOUT_MS 30000
!endif
!ifndef OUTFILE
  !define OUTFILE "vorlane-setup.exe"
!endif

Name "Vorlane"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Vorlane"
RequestExecutionLevel admin
ShowInstDetails show

Page directory
Page instfiles

Var HaltgateLog
Var HaltgateExit
Var Message

Section "Vorlane"
  Call StopRunningVorlane
  ; Haltgate said 0: no process of this installation runs and none of its programs or
  ; libraries is open, so the files can be replaced.
  SetOutPath "$INSTDIR"
  File /r "${PAYLOAD}\*.*"
SectionEnd

Function StopRunningVorlane
  ; Haltgate runs from the installer's private temporary folder, removed when the installer ends.
  InitPluginsDir
  File "/oname=$PLUGINSDIR\Haltgate.exe" "${HALTGATE}"
  ; The log lies outside that folder, so that it is still there to read after a failure.
  StrCpy $HaltgateLog "$TEMP\Vorlane-Haltgate.log"
  retry:
  ClearErrors
  ExecWait '"$PLUGINSDIR\Haltgate.exe" --install-dir "$INSTDIR" --log "$HaltgateLog" --timeout-ms ${HALTGATE_TIMEOUT_MS}' $HaltgateExit
  ${If} ${Errors}
    StrCpy $HaltgateExit 2
  ${EndIf}
  ${If} $HaltgateExit = 0
    Return
  ${EndIf}

  ${If} $HaltgateExit = 10
  ${OrIf} $HaltgateExit = 11
    ; Vorlane still runs: the user can close it and try again.
    StrCpy $Message "Vorlane is still running and could not be asked to close. Close Vorlane and choose Retry. Nothing was changed. Details: $HaltgateLog"
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$Message" /SD IDCANCEL IDRETRY retry
  ${Else}
    ; 12 (or 2): files in use by another program, or an error; the log names the file or the error.
    StrCpy $Message "Files of the installation in $INSTDIR are in use or could not be checked. Nothing was changed. Details: $HaltgateLog"
    MessageBox MB_OK|MB_ICONSTOP "$Message" /SD IDOK
  ${EndIf}
  Call WriteResult
  SetErrorLevel $HaltgateExit
  Quit
FunctionEnd

; Writes $Message to the file that /RESULT= names, if any.
Function WriteResult
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/RESULT=" $R1
  ${If} ${Errors}
    Return
  ${EndIf}
  FileOpen $R2 "$R1" w
  FileWriteUTF16LE /BOM $R2 "$Message$\r$\n"
  FileClose $R2
FunctionEnd
