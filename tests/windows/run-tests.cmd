@echo off
rem Runs Tavrel's Windows-side tests on this machine, which needs only
rem Windows, as an administrator (the tests change the machine's .inf
rem registration, and put it back):
rem
rem   run-tests.cmd FILES_FOLDER [RESULTS_FOLDER]
rem
rem FILES_FOLDER is the windows-tests folder of a build, or the build folder
rem that holds it. Its files are laid out in %SystemDrive%\tavrel-run and
rem every test program runs from there, writing its results as XML into
rem RESULTS_FOLDER (by default FILES_FOLDER\results), where tally.xml adds
rem the checks that are no GoogleTest program. Ends with one line,
rem "N passed, N failed, N skipped", and exits 1 when any test failed.
rem A case that needs a display language or an ANSI code page this system
rem does not have, or that only Windows can show, is skipped with its reason.
setlocal EnableExtensions
if "%~1"=="" goto usage
set "FILES=%~f1"
if exist "%FILES%\windows-tests\system_tests.exe" set "FILES=%FILES%\windows-tests"
if not exist "%FILES%\system_tests.exe" goto no_files
set "RESULTS=%FILES%\results"
if not "%~2"=="" set "RESULTS=%~f2"
set "RUN=%SystemDrive%\tavrel-run"
set "PARTS=system_tests message_tests resources signing"

rem Only an administrator may write the machine's part of the registry.
reg add "HKLM\Software\Tavrel Tests\Administrator Check" /f >nul 2>&1
if errorlevel 1 goto not_administrator
reg delete "HKLM\Software\Tavrel Tests\Administrator Check" /f >nul 2>&1

if exist "%RUN%" rd /s /q "%RUN%"
mkdir "%RUN%"
xcopy "%FILES%" "%RUN%\" /e /i /q /y >nul
if not exist "%RUN%\system_tests.exe" goto no_layout
if not exist "%RESULTS%" mkdir "%RESULTS%"
for %%p in (%PARTS%) do for %%e in (xml exit skip) do if exist "%RESULTS%\%%p.%%e" del "%RESULTS%\%%p.%%e"
if exist "%RESULTS%\tally.xml" del "%RESULTS%\tally.xml"
echo Tavrel's Windows-side tests: laid out in %RUN%, results in %RESULTS%

echo --- system_tests.exe
"%RUN%\system_tests.exe" "--gtest_output=xml:%RESULTS%\system_tests.xml"
echo %ERRORLEVEL% > "%RESULTS%\system_tests.exit"

echo --- message_tests.exe
"%RUN%\message_tests.exe" "--gtest_output=xml:%RESULTS%\message_tests.xml"
echo %ERRORLEVEL% > "%RESULTS%\message_tests.exit"

echo --- resource_check.exe
"%RUN%\resource_check.exe"
echo %ERRORLEVEL% > "%RESULTS%\resources.exit"

if not exist "%RUN%\signing\signed.exe" goto no_signed_files
echo --- trust_check.exe --expect signing
"%RUN%\trust_check.exe" --expect "%RUN%\signing"
echo %ERRORLEVEL% > "%RESULTS%\signing.exit"
goto tally
:no_signed_files
echo the layout holds no signed files: the build's signing test lays them out where osslsigncode is installed> "%RESULTS%\signing.skip"

:tally
echo ---
"%RUN%\test_tally.exe" "%RESULTS%" %PARTS%
set STATUS=%ERRORLEVEL%
rd /s /q "%RUN%"
if exist "%SystemDrive%\tavrel-tests" rd /s /q "%SystemDrive%\tavrel-tests"
rem A test program that was killed leaves its guard key, which the next run
rem needs to put the machine back; otherwise nothing of the tests stays.
reg query "HKLM\Software\Tavrel Tests\Registration Guard" >nul 2>&1
if errorlevel 1 reg delete "HKLM\Software\Tavrel Tests" /f >nul 2>&1
exit /b %STATUS%

:usage
echo usage: run-tests.cmd FILES_FOLDER [RESULTS_FOLDER]
echo   FILES_FOLDER: the windows-tests folder of a build, or the build folder
exit /b 2

:no_files
echo run-tests.cmd: no system_tests.exe in %~f1 or in its windows-tests folder
exit /b 2

:not_administrator
echo run-tests.cmd: run it as an administrator: the tests change the machine's .inf registration
exit /b 2

:no_layout
echo run-tests.cmd: could not lay out %FILES% in %RUN%
exit /b 2
