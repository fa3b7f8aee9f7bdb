; The Windows installer: makensis -DVERSION=1.01 -DSOURCE=<folder> -DOUTFILE=<exe>
; -DICON=<ico> installer.nsi (resources/windows/package.sh runs it).
; Tembrio goes into Program Files with a Start menu entry and an uninstaller.
; A 64-bit installer for the 64-bit program: it runs under wine64 too.
Target amd64-unicode
!include MUI2.nsh

Name "Tembrio ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Tembrio"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tembrio"

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Italian"

; For every user, as the program is.
Section
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File /r /x list.m3u "${SOURCE}\*.*"
  ; A list the user has edited stays as it is on a reinstall.
  SetOverwrite off
  File "${SOURCE}\list.m3u"
  SetOverwrite on
  WriteUninstaller "$INSTDIR\Disinstalla.exe"
  CreateShortcut "$SMPROGRAMS\Tembrio.lnk" "$INSTDIR\Tembrio.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Tembrio"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Squadra Tembrio"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Tembrio.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Disinstalla.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Disinstalla.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Only what the installer put there: the folder may hold other files.
Section "Uninstall"
  SetShellVarContext all
  Delete "$SMPROGRAMS\Tembrio.lnk"
  Delete "$INSTDIR\Tembrio.exe"
  Delete "$INSTDIR\list.m3u"
  Delete "$INSTDIR\*.dll"
  RMDir /r "$INSTDIR\platforms"
  RMDir /r "$INSTDIR\imageformats"
  RMDir /r "$INSTDIR\styles"
  RMDir /r "$INSTDIR\demo"
  Delete "$INSTDIR\Disinstalla.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
