@echo off
rem exec.bat
rem Run by the service when the computer shuts down while the mains has
rem failed (or before any UPS was identified), just before it tells the UPS
rem to switch its output off after ZEP_UPS_DELAY minutes and to restart
rem later. The service waits ZEP_EXEC_WAIT seconds for this file, so it only
rem logs and returns at once, letting the UPS command go out.
setlocal EnableDelayedExpansion
cd /d "%~dp0"
set "DELAY=!ZEP_UPS_DELAY!"
if not defined DELAY set "DELAY=?"
set "LINE=exec: the computer shuts down; the UPS switches off in !DELAY! min"
set "LINE=!LINE! and restarts afterwards"
call zeplib.bat log
