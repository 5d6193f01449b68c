@echo off
rem Plants the harmless sample threat that the sample definitions describe: a few text files
rem and folders with adware-like names in the user's special folders. Nothing here runs.
mkdir "%APPDATA%\QuillonSample" 2>nul
echo Quillon sample threat: harmless test file> "%APPDATA%\QuillonSample\sampletoolbar.dll"
echo [sample]> "%APPDATA%\QuillonSample\settings.ini"
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
echo sample> "%USERPROFILE%\Documents\QuillonSample\orphan.log"
