@echo off
rem meter.bat VA W V IN_V IN_HZ OUT_V OUT_HZ KVA LOAD TEMP BATT_V
rem Run by the service once per ZEP_METER_CYCLE seconds with the UPS's
rem ratings and latest measurements; -1 stands for a value the UPS does not
rem report. Writes one line to zep.log.
rem
rem Arguments are taken once, in quotes, while delayed expansion is off, and
rem used only as !NAME! afterwards: no character in them can become a command.
setlocal DisableDelayedExpansion
set "VA=%~1"
set "WATT=%~2"
set "VOLT=%~3"
set "IN_V=%~4"
set "IN_HZ=%~5"
set "OUT_V=%~6"
set "OUT_HZ=%~7"
set "KVA=%~8"
set "LOAD=%~9"
shift
shift
set "TEMP_C=%~8"
set "BATT_V=%~9"
setlocal EnableDelayedExpansion
cd /d "%~dp0"
rem A value the service does not pass yet shows as "?".
for %%v in (VA WATT VOLT IN_V IN_HZ OUT_V OUT_HZ KVA LOAD TEMP_C BATT_V) do (
  if not defined %%v set "%%v=?"
)
set "LINE=meter: rated !VA! VA !WATT! W !VOLT! V | input !IN_V! V !IN_HZ! Hz |"
set "LINE=!LINE! output !OUT_V! V !OUT_HZ! Hz !KVA! kVA | load !LOAD! %% |"
set "LINE=!LINE! temperature !TEMP_C! C | battery !BATT_V! V"
call zeplib.bat log
