; The Windows installer made from a folder laid out as an installed VARNOLT
; (scripts/windows-check.sh makes one and packs it with this file):
;   makensis -DFOLDER=... -DOUTFILE=...-setup.exe -DVERSION=1.0.0 -DLICENSE=.../LICENSE FolderInstaller.nsi
; It does what WindowsInstaller.cmake's installer does: for the current user,
; without administrator rights, in %LOCALAPPDATA%\Programs\VARNOLT; VARNOLT in
; the Start menu and in "Open with" of .dat files (not their default program,
; since reports are .dat files too); an uninstaller that removes all of it.
; `setup.exe /S` installs silently.
; A 64-bit installer for a 64-bit program: it runs where VARNOLT runs, and
; under a 64-bit Wine prefix without 32-bit support.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user

Name "VARNOLT ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\VARNOLT"
InstallDirRegKey HKCU "Software\VARNOLT" "InstallFolder"
LicenseData "${LICENSE}"

Page license
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\VARNOLT"

Section "VARNOLT"
  SetOutPath "$INSTDIR"
  File /r "${FOLDER}\*.*"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  WriteRegStr HKCU "Software\VARNOLT" "InstallFolder" "$INSTDIR"

  CreateDirectory "$SMPROGRAMS\VARNOLT"
  CreateShortcut "$SMPROGRAMS\VARNOLT\VARNOLT.lnk" "$INSTDIR\varnolt.exe"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "VARNOLT"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\varnolt.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1

  ; "Open with" for settings files.
  WriteRegStr HKCU "Software\Classes\Applications\varnolt.exe" "FriendlyAppName" "VARNOLT"
  WriteRegStr HKCU "Software\Classes\Applications\varnolt.exe\SupportedTypes" ".dat" ""
  WriteRegStr HKCU "Software\Classes\Applications\varnolt.exe\shell\open\command" "" '"$INSTDIR\varnolt.exe" "%1"'
  WriteRegStr HKCU "Software\Classes\VARNOLT.Settings" "" "VARNOLT settings"
  WriteRegStr HKCU "Software\Classes\VARNOLT.Settings\DefaultIcon" "" "$INSTDIR\varnolt.exe,0"
  WriteRegStr HKCU "Software\Classes\VARNOLT.Settings\shell\open\command" "" '"$INSTDIR\varnolt.exe" "%1"'
  WriteRegStr HKCU "Software\Classes\.dat\OpenWithProgids" "VARNOLT.Settings" ""
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd

Section "Uninstall"
  Delete "$SMPROGRAMS\VARNOLT\VARNOLT.lnk"
  RMDir "$SMPROGRAMS\VARNOLT"
  DeleteRegKey HKCU "Software\Classes\Applications\varnolt.exe"
  DeleteRegKey HKCU "Software\Classes\VARNOLT.Settings"
  DeleteRegValue HKCU "Software\Classes\.dat\OpenWithProgids" "VARNOLT.Settings"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  DeleteRegKey HKCU "Software\VARNOLT"
  RMDir /r "$INSTDIR"
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd
