; pilaro.nsi: the Windows installer. A per-user install: the game goes to
; %LOCALAPPDATA%\Programs\Pilaro without administrator rights, the Start-menu shortcut starts it
; in %LOCALAPPDATA%\Pilaro, where its hiScore.txt lives, and the uninstaller keeps that file.
; Built by makensis with -DVERSION= -DEXE= -DICON= -DREADME= -DOUTFILE= (packaging/windows/windows.cmake).
; The game is a 64-bit program; so is its installer.
Target amd64-unicode
ManifestDPIAware true
RequestExecutionLevel user
SetCompressor /SOLID lzma

!include "MUI2.nsh"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Pilaro"

Name "Pilaro"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Pilaro"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
Icon "${ICON}"
UninstallIcon "${ICON}"
VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=0 "ProductName" "Pilaro"
VIAddVersionKey /LANG=0 "FileDescription" "Pilaro Setup"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "LegalCopyright" "the Pilaro developers"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_FUNCTION StartGame
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Japanese"
!insertmacro MUI_LANGUAGE "English"

Section "Pilaro"
  SetShellVarContext current
  SetOutPath "$INSTDIR"
  File "/oname=pilaro.exe" "${EXE}"
  File "/oname=readme.txt" "${README}"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The shortcut's working folder is the one its target starts in: the player's own folder.
  CreateDirectory "$LOCALAPPDATA\Pilaro"
  SetOutPath "$LOCALAPPDATA\Pilaro"
  CreateShortCut "$SMPROGRAMS\Pilaro.lnk" "$INSTDIR\pilaro.exe" "" "$INSTDIR\pilaro.exe" 0

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Pilaro"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Pilaro developers"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\pilaro.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" 1024
SectionEnd

; Started from the finish page as from the shortcut: in the player's folder.
Function StartGame
  SetOutPath "$LOCALAPPDATA\Pilaro"
  Exec '"$INSTDIR\pilaro.exe"'
FunctionEnd

Section "Uninstall"
  SetShellVarContext current
  Delete "$SMPROGRAMS\Pilaro.lnk"
  Delete "$INSTDIR\pilaro.exe"
  Delete "$INSTDIR\readme.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  ; The player's best score stays; the folder goes only when nothing is left in it.
  RMDir "$LOCALAPPDATA\Pilaro"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
