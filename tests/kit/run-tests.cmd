@echo off
rem The Vorlane helpers' test kit: runs every test program in bin\ and writes one report line
rem per test, ending with "N passed, M failed, K skipped".
rem
rem   run-tests.cmd [--throwaway-machine] [--report FILE] [--only TEXT]
rem
rem Start it from a command prompt opened with "Run as administrator"; it works from any
rem folder. --throwaway-machine also runs the tests that change machine-wide state (the
rem system's task scheduler, the Program Files location) or send input to the desktop: give it
rem only on a machine you will throw away. The work is done by bin\kit_runner.exe, because a
rem batch file cannot read the test programs' results reliably.
setlocal
"%~dp0bin\kit_runner.exe" %*
exit /b %ERRORLEVEL%
