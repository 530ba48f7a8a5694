@echo off
rem overload.bat BEGAN LOAD KVA TEMP
rem Run by the service when the overload condition begins (BEGAN 1) or ends
rem (0), with the load in percent, the output power and the UPS
rem temperature. Writes one line to zep.log.
rem
rem Arguments are taken once, in quotes, while delayed expansion is off, and
rem used only as !NAME! afterwards: no character in them can become a command.
setlocal DisableDelayedExpansion
set "BEGAN=%~1"
set "LOAD=%~2"
set "KVA=%~3"
set "TEMP_C=%~4"
setlocal EnableDelayedExpansion
cd /d "%~dp0"
for %%v in (LOAD KVA TEMP_C) do if not defined %%v set "%%v=?"
set "STATE=ended"
if "!BEGAN!"=="1" set "STATE=began"
set "LINE=overload: overload !STATE!"
set "LINE=!LINE! (load !LOAD! %%, output !KVA! kVA, temperature !TEMP_C! C)"
call zeplib.bat log
