@echo off
rem dblclk.bat
rem Run by the tray program when its icon is double-clicked: opens the log
rem that the event scripts write.
cd /d "%~dp0"
if not exist zep.log type nul >zep.log
start "" notepad.exe "%~dp0zep.log"
