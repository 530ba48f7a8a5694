@echo off
rem temperature.bat BEGAN TEMP LOAD KVA
rem Run by the service when the UPS temperature condition begins (BEGAN 1)
rem or ends (0), with the UPS temperature, the load in percent and the
rem output power. Writes one line to zep.log.
rem
rem Arguments are taken once, in quotes, while delayed expansion is off, and
rem used only as !NAME! afterwards: no character in them can become a command.
setlocal DisableDelayedExpansion
set "BEGAN=%~1"
set "TEMP_C=%~2"
set "LOAD=%~3"
set "KVA=%~4"
setlocal EnableDelayedExpansion
cd /d "%~dp0"
for %%v in (TEMP_C LOAD KVA) do if not defined %%v set "%%v=?"
set "STATE=ended"
if "!BEGAN!"=="1" set "STATE=began"
set "LINE=temperature: high temperature !STATE!"
set "LINE=!LINE! (temperature !TEMP_C! C, load !LOAD! %%, output !KVA! kVA)"
call zeplib.bat log
