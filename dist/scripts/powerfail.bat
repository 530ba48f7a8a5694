@echo off
rem powerfail.bat LOAD KVA TEMP BATTERY WAIT
rem Run by the service when the mains fails, with the load in percent, the
rem output power, the UPS temperature, the battery figure and the wait in
rem seconds (ZEP_PF_WAIT, default 300). Waits, then shuts the computer
rem down, unless the power returns first (powerrecovery.bat cancels the
rem wait) or an emergency takes over. With ZEP_DRY_RUN=1 the shutdown is
rem only logged.
rem
rem The service passes the values it knows, up to the first one it does not
rem know yet; the wait is then missing and ZEP_PF_WAIT is used instead.
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
call zeplib.bat wait WAIT 300 ZEP_PF_WAIT
set "LINE=powerfail: mains failure; shutdown in !WAIT! s unless the"
set "LINE=!LINE! power returns (load !LOAD! %%, output !KVA! kVA,"
set "LINE=!LINE! temperature !TEMP_C! C, battery !BATTERY! %%)"
call zeplib.bat pending powerfail WAIT
