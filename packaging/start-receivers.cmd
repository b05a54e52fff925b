@echo off
rem Starts both receivers, each in a window of its own named for its side, with the live
rem status line on. They read brenik.ini from the folder they start in: this file's own.
cd /d "%~dp0"
start "Left actuator" L_BrenikReceiver.exe --status
start "Right actuator" R_BrenikReceiver.exe --status
