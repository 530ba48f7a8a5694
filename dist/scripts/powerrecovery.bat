@echo off
rem powerrecovery.bat
rem Run by the service when the mains returns after a failure. Cancels a
rem shutdown that powerfail.bat or emergency.bat is waiting to make.
setlocal EnableDelayedExpansion
cd /d "%~dp0"
set "LINE=powerrecovery: the power returned"
call zeplib.bat cancel
if not errorlevel 1 set "LINE=!LINE!; the pending shutdown is cancelled"
call zeplib.bat log
