@echo off
rem exec.bat
rem Run by the service when the computer shuts down while the mains has
rem failed (or before any UPS was identified), just before it tells the UPS
rem to switch its output off after ZEP_UPS_DELAY minutes and to restart
rem later. The service waits ZEP_EXEC_WAIT seconds for this file, so it only
rem logs and returns at once, letting the UPS command go out.
setlocal EnableDelayedExpansion
cd /d "%~dp0"
rem The delay as the service uses it: a plain number, at most 99 minutes;
rem below 0 or not set, the service sends no command at all. (Other text
rem the service reads by the number at its start, if any; the line then
rem names the setting as it stands.)
set "DELAY=!ZEP_UPS_DELAY!"
if not defined DELAY goto no_command
call zeplib.bat number DELAY
if errorlevel 1 goto not_plain
if !DELAY! GTR 99 set "DELAY=99"
set "LINE=exec: the computer shuts down; the UPS switches off in !DELAY! min"
set "LINE=!LINE! and restarts afterwards"
call zeplib.bat log
exit /b 0
:not_plain
rem A negative number reads back unchanged from set /a, as a plain one does.
set "N="
set /a "N=DELAY" >nul 2>&1
if defined N if "!N!"=="!DELAY!" if !N! LSS 0 goto no_command
set "LINE=exec: the computer shuts down; the UPS command follows"
set "LINE=!LINE! ZEP_UPS_DELAY=!DELAY!"
call zeplib.bat log
exit /b 0
:no_command
set "LINE=exec: the computer shuts down; no UPS command is sent"
set "LINE=!LINE! (ZEP_UPS_DELAY is not a number of 0 or more)"
call zeplib.bat log
