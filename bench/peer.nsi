; The peer of the silent-install benchmark: the sample saver in an NSIS installer that does
; what SETUP.exe /S does. It writes the saver into the system directory and registers its short
; path in system.ini [boot] and HKCU\Control Panel\Desktop, screen saving switched on.
; scripts/bench --peers builds it:
;   makensis -DSAVER=<sample.scr> -DOUTFILE=<installer.exe> bench/peer.nsi
Unicode true
SetCompressor /SOLID lzma
Name "Aurora"
OutFile "${OUTFILE}"
RequestExecutionLevel admin
InstallDir "$SYSDIR"
ShowInstDetails nevershow

Section
  SetOutPath "$SYSDIR"
  File "/oname=Aurora.scr" "${SAVER}"
  GetFullPathName /SHORT $0 "$SYSDIR\Aurora.scr"
  StrCmp $0 "" 0 +2
    Abort
  WriteINIStr "$WINDIR\system.ini" "boot" "SCRNSAVE.EXE" "$0"
  WriteRegStr HKCU "Control Panel\Desktop" "SCRNSAVE.EXE" "$0"
  WriteRegStr HKCU "Control Panel\Desktop" "ScreenSaveActive" "1"
SectionEnd
