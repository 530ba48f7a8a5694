@echo off
rem emergency.bat LOAD KVA TEMP BATTERY WAIT
rem Run by the service when the battery runs low while the mains has
rem failed, with the same values as powerfail.bat and the wait in seconds
rem (ZEP_LB_WAIT, default 30). Takes over from a waiting powerfail.bat,
rem waits, then shuts the computer down unless the power returns first.
rem With ZEP_DRY_RUN=1 the shutdown is only logged.
rem
rem Arguments are taken once, in quotes, while delayed expansion is off, and
rem used only as !NAME! afterwards: no character in them can become a command.
setlocal DisableDelayedExpansion
set "LOAD=%~1"
set "KVA=%~2"
set "TEMP_C=%~3"
set "BATTERY=%~4"
set "WAIT=%~5"
setlocal EnableDelayedExpansion
cd /d "%~dp0"
for %%v in (LOAD KVA TEMP_C BATTERY) do if not defined %%v set "%%v=?"
call zeplib.bat wait WAIT 30 ZEP_LB_WAIT
set "LINE=emergency: battery low during a mains failure; shutdown in"
set "LINE=!LINE! !WAIT! s (load !LOAD! %%, output !KVA! kVA,"
set "LINE=!LINE! temperature !TEMP_C! C, battery !BATTERY! %%)"
call zeplib.bat pending emergency WAIT
