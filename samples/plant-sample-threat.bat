@echo off
rem Plants the harmless sample threat that the sample definitions describe: a few text files,
rem folders and registry entries with adware-like names, and a program that only waits.
rem Argument: the path of quillon-sample-waiter.exe to start from a definition-listed folder.
mkdir "%APPDATA%\QuillonSample" 2>nul
echo Quillon sample threat: harmless test file> "%APPDATA%\QuillonSample\sampletoolbar.dll"
echo [sample]> "%APPDATA%\QuillonSample\sampletoolbar-settings.ini"
echo [InternetShortcut]> "%USERPROFILE%\Desktop\Win Free Prizes.url"
echo URL=http://quillon-sample-ads.example/>> "%USERPROFILE%\Desktop\Win Free Prizes.url"
mkdir "C:\QuillonSample" 2>nul
echo This file is on the sample exclusion list.> "C:\QuillonSample\readme-sample.txt"
mkdir "C:\QuillonSampleCache" 2>nul
echo cache> "C:\QuillonSampleCache\cache.bin"
mkdir "%ProgramFiles%\QuillonSample" 2>nul
echo Quillon sample threat: harmless test file> "%ProgramFiles%\QuillonSample\popup.exe"
mkdir "%APPDATA%\Microsoft\Windows\Start Menu\Programs\QuillonSample" 2>nul
echo sample> "%APPDATA%\Microsoft\Windows\Start Menu\Programs\QuillonSample\Sample.txt"
mkdir "%USERPROFILE%\Documents\QuillonSample" 2>nul
echo sample> "%USERPROFILE%\Documents\QuillonSample\quillon-orphan.log"

rem Tracking cookies in the browser's cookie folder (one file per site).
set "COOKIES=%LOCALAPPDATA%\Microsoft\Windows\INetCookies"
mkdir "%COOKIES%" 2>nul
echo sampleid> "%COOKIES%\user@quillon-sample-ads[1].txt"
echo 12345>> "%COOKIES%\user@quillon-sample-ads[1].txt"
echo ads.quillon-sample-ads.example/>> "%COOKIES%\user@quillon-sample-ads[1].txt"
echo sampleid> "%COOKIES%\user@tracker.quillon-sample[1].txt"
echo tracker.quillon-sample.example/>> "%COOKIES%\user@tracker.quillon-sample[1].txt"
echo sampleid> "%COOKIES%\user@harmless-site[1].txt"
echo harmless-site.example/>> "%COOKIES%\user@harmless-site[1].txt"

reg add "HKCU\Software\QuillonSample" /v HomePageHook /t REG_SZ /d "http://quillon-sample-ads.example/" /f >nul
reg add "HKCU\Software\QuillonSample" /v Binary /t REG_BINARY /d 00ff /f >nul
reg add "HKLM\SOFTWARE\QuillonSample" /v Installed /t REG_DWORD /d 1 /f >nul
reg add "HKCU\Software\QuillonSampleOrphan" /f >nul

if "%~1"=="" goto :eof
copy /y "%~1" "%ProgramFiles%\QuillonSample\quillon-sample-waiter.exe" >nul
start "" "%ProgramFiles%\QuillonSample\quillon-sample-waiter.exe"
