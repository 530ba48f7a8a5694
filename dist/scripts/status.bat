@echo off
rem status.bat LEVEL CODE [TEXT...]
rem Run by the service for every status record: its start and stop, the
rem start of a shutdown, the UPS port found (code 1), the UPS identified
rem (110) and rated (120), and each event category that becomes active
rem (code = the category, texts = level and category). Writes one line to
rem zep.log, for example
rem   2024/05/01 10:00:00 status 1 100: Start Service | ZEP Version Information
rem
rem Arguments are taken once, in quotes, while delayed expansion is off, and
rem used only as !NAME! afterwards: no character in them can become a command.
setlocal DisableDelayedExpansion
set "LEVEL=%~1"
set "CODE=%~2"
set "TEXT1=%~3"
set "TEXT2=%~4"
set "TEXT3=%~5"
set "TEXT4=%~6"
setlocal EnableDelayedExpansion
cd /d "%~dp0"
set "TEXTS=!TEXT1!"
if defined TEXT2 set "TEXTS=!TEXTS! | !TEXT2!"
if defined TEXT3 set "TEXTS=!TEXTS! | !TEXT3!"
if defined TEXT4 set "TEXTS=!TEXTS! | !TEXT4!"
set "LINE=status !LEVEL! !CODE!: !TEXTS!"
call zeplib.bat log
