@echo off
rem event.bat BEGAN LEVEL CODE
rem Run by the service for every event that begins (BEGAN 1) or ends (0),
rem with its level (1 Information, 2 Caution, 3 Fault) and its event code.
rem Writes one line to zep.log with the texts zepe finds for them in the
rem service's message files, for example
rem   2024/05/01 10:00:00 [Caution] Occurrence: Mains failure (event 3368)
rem
rem Arguments are taken once, in quotes, while delayed expansion is off, and
rem used only as !NAME! afterwards: no character in them can become a command.
setlocal DisableDelayedExpansion
set "BEGAN=%~1"
set "LEVEL=%~2"
set "CODE=%~3"
setlocal EnableDelayedExpansion
cd /d "%~dp0"
set "OCCURRENCE=!BEGAN!"
set "LEVEL_TEXT=!LEVEL!"
set "EVENT_TEXT=!CODE!"

rem Only plain numbers go to zepe: anything else would be read as an option.
rem Once they are known to be digits, they may be written as percent
rem variables into zepe's command line.
call zeplib.bat number BEGAN
if errorlevel 1 goto write
call zeplib.bat number LEVEL
if errorlevel 1 goto write
call zeplib.bat number CODE
if errorlevel 1 goto write
if not exist zepe.exe goto write
rem "Occurrence,Caution,Mains failure": the event text comes last, so a comma
rem in it stays in it.
set "ZEPE_LINE=zepe.exe -o %BEGAN% -l %LEVEL% -i %CODE%"
for /f "usebackq tokens=1,2,* delims=," %%a in (`%ZEPE_LINE%`) do (
  set "OCCURRENCE=%%~a"
  set "LEVEL_TEXT=%%~b"
  set "EVENT_TEXT=%%~c"
)

:write
set "LINE=[!LEVEL_TEXT!] !OCCURRENCE!: !EVENT_TEXT! (event !CODE!)"
call zeplib.bat log
