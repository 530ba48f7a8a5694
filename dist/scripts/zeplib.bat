@echo off
rem zeplib.bat: shared by the ZEP event scripts, which call it from their own
rem directory; the service never runs it by itself.
rem
rem   call zeplib.bat log                 appends "date time LINE" to zep.log,
rem                                       LINE being the caller's variable
rem   call zeplib.bat number NAME         errorlevel 0 when variable NAME
rem                                       holds a plain number: digits only,
rem                                       no leading zero, below 2147483648
rem   call zeplib.bat wait NAME DEFAULT SETTING
rem                                       sets variable NAME to the wait in
rem                                       seconds: its own value when that is
rem                                       a number, else the variable SETTING
rem                                       when that is one, else DEFAULT
rem   call zeplib.bat pending WHO NAME    the pending shutdown: logs LINE
rem                                       and shuts the computer down after
rem                                       the seconds in variable NAME,
rem                                       unless it is cancelled or taken
rem                                       over first
rem   call zeplib.bat cancel              cancels the pending shutdown;
rem                                       errorlevel 0 when one was still
rem                                       waiting
rem
rem Texts that came as arguments are handed over in variables and read here
rem only as !NAME!, after the command line has been parsed, so that no
rem character in them (ampersand, bar, angle brackets, caret, parentheses
rem and so on) is ever taken as part of a command.
rem
rem ZEP_DRY_RUN=1 in the environment (the service passes its environment to
rem the scripts) turns the shutdown into the log line "would shut down now".
setlocal EnableDelayedExpansion
set "ZL_LOG=%~dp0zep.log"
set "ZL_LOCK=%~dp0zep.log.lock"
set "ZL_MARK=%~dp0shutdown.pending"
set "ZL_ZEPE=%~dp0zepe.exe"
goto :verb_%~1

:verb_log
set "ZL_STAMP=!DATE! !TIME!"
rem zepe gives the date and time in the user's own format.
if not exist "!ZL_ZEPE!" goto log_write
for /f "usebackq tokens=1,2 delims=," %%a in (`zepe.exe -d x -t x`) do (
  set "ZL_STAMP=%%~a %%~b"
)
:log_write
rem Scripts started at the same moment write to the same log, and cmd opens
rem the file for itself alone while it appends: a second writer would fail
rem and lose its line. So the writers take turns through a lock directory
rem (making it either succeeds or fails, at once). One held longer than a
rem few seconds was left by a script that was stopped, and is taken over.
set "ZL_TRY=0"
:log_lock
call :zero
mkdir "%ZL_LOCK%" 2>nul
if not errorlevel 1 goto log_locked
set /a "ZL_TRY+=1"
if !ZL_TRY! GEQ 100 goto log_locked
rem A short pause: one echo request to this computer.
ping -n 1 127.0.0.1 >nul
goto log_lock
:log_locked
>>"!ZL_LOG!" echo !ZL_STAMP! !LINE!
rmdir "%ZL_LOCK%"
exit /b 0

:zero
exit /b 0

:verb_number
rem A plain number reads back unchanged from set /a, which never runs
rem anything; text, signs, leading zeros and values beyond 32 bits do not.
set "ZL_N="
set /a "ZL_N=%~2" >nul 2>&1
if not defined ZL_N exit /b 1
if not "!ZL_N!"=="!%~2!" exit /b 1
if !ZL_N! LSS 0 exit /b 1
exit /b 0

:verb_wait
set "ZL_W=%~3"
call :verb_number x %~4
if not errorlevel 1 set "ZL_W=!%~4!"
call :verb_number x %~2
if not errorlevel 1 set "ZL_W=!%~2!"
if !ZL_W! GTR 999999 set "ZL_W=999999"
endlocal & set "%~2=%ZL_W%"
exit /b 0

:verb_pending
set "ZL_WHO=%~2"
set "ZL_LEFT=!%~3!"
rem The pending shutdown is the file shutdown.pending, holding the name and
rem number of the script that owns it: powerrecovery removes it (the power
rem returned), a later power failure or emergency writes its own, and the
rem owner writes its name and "done" when its wait is over, so that a
rem script still waiting learns who shut down. The file is written before
rem anything else, the log line included (zepe and the log lock take time),
rem so that scripts the service started one after the other claim it in
rem that order and a recovery always finds the shutdown it must cancel.
set "ZL_ID=!RANDOM!!RANDOM!!RANDOM!"
set "ZL_TEXT=!ZL_WHO! !ZL_ID!"
call :write_marker
set "ZL_WROTE=0"
if errorlevel 1 set "ZL_WROTE=1"
call :verb_log
if "!ZL_WROTE!"=="0" goto pending_loop
set "LINE=!ZL_WHO!: cannot write !ZL_MARK!; the shutdown cannot be cancelled"
call :verb_log
set /a "ZL_LEFT+=1"
ping -n !ZL_LEFT! 127.0.0.1 >nul 2>&1
goto shutdown
:pending_loop
set "ZL_BY="
set "ZL_CUR="
if exist "%ZL_MARK%" for /f "usebackq tokens=1,2" %%a in ("%ZL_MARK%") do (
  set "ZL_BY=%%a"
  set "ZL_CUR=%%b"
)
if not defined ZL_CUR goto pending_cancelled
if not "!ZL_CUR!"=="!ZL_ID!" goto pending_taken
if !ZL_LEFT! LEQ 0 goto pending_due
rem Two echo requests to this computer are one second apart.
ping -n 2 127.0.0.1 >nul 2>&1
set /a "ZL_LEFT-=1"
goto pending_loop
:pending_cancelled
set "LINE=!ZL_WHO!: shutdown cancelled"
goto verb_log
:pending_taken
set "LINE=!ZL_WHO!: taken over by !ZL_BY!"
goto verb_log
:pending_due
set "ZL_TEXT=!ZL_WHO! done"
call :write_marker
:shutdown
if not "!ZEP_DRY_RUN!"=="1" goto shutdown_now
set "LINE=!ZL_WHO!: would shut down now (ZEP_DRY_RUN=1)"
goto verb_log
:shutdown_now
set "LINE=!ZL_WHO!: shutting down now"
call :verb_log
shutdown /s /t 0
if not errorlevel 1 exit /b 0
set "LINE=!ZL_WHO!: the shutdown command failed"
goto verb_log

:verb_cancel
if not exist "%ZL_MARK%" exit /b 1
set "ZL_CUR="
for /f "usebackq tokens=1,2" %%a in ("%ZL_MARK%") do set "ZL_CUR=%%b"
del "%ZL_MARK%" >nul 2>&1
rem Only a shutdown still waiting counts, not one already done.
if not defined ZL_CUR exit /b 1
if "!ZL_CUR!"=="done" exit /b 1
exit /b 0

rem Writes ZL_TEXT to shutdown.pending: aside first, then moved, so that a
rem reader never sees half of it. The move is tried again for a moment, as
rem it fails while another script happens to be reading the file.
:write_marker
set "ZL_NEW=!ZL_MARK!.!RANDOM!!RANDOM!"
>"!ZL_NEW!" echo !ZL_TEXT!
if not exist "!ZL_NEW!" exit /b 1
set "ZL_TRY=0"
:write_marker_move
call :zero
move /y "!ZL_NEW!" "!ZL_MARK!" >nul 2>&1
if not errorlevel 1 exit /b 0
set /a "ZL_TRY+=1"
if !ZL_TRY! GEQ 20 goto write_marker_failed
ping -n 1 127.0.0.1 >nul
goto write_marker_move
:write_marker_failed
del "!ZL_NEW!" >nul 2>&1
exit /b 1
