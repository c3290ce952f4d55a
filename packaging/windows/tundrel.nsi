; The Windows installer, tundrel-<version>-setup.exe, holding the 32-bit and the 64-bit saver;
; made by the package target of a Windows build (package.cmake), which defines VERSION, OUTFILE,
; SCR32, SCR64, README, LICENSE, ICON (tundrel.ico) and ART (the folder of the pictures that
; artwork.cmake makes) on makensis's command line.
;
; The saver goes where the Screen Saver Settings list it: System32 of the Windows it runs on, the
; 64-bit build on 64-bit Windows (with WOW64 file-system redirection off, since this installer is
; a 32-bit program). Documents and the uninstaller go to Program Files\Tundrel.
;
; Command line: /S installs silently; a silent install leaves the current screen saver as it is
; unless /MAKECURRENT is given, and starts no live wallpaper unless /WALLPAPER is given. Exit code
; 0 on success, 2 when the install failed (a message box says why unless silent); nothing in the
; registry changes before the saver's file is written.

Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin
; Laid out for the screen's DPI, not drawn at 96 and stretched; the pictures come in three sizes.
ManifestDPIAware true

!include MUI2.nsh
!include LogicLib.nsh
!include x64.nsh
!include FileFunc.nsh
!include Sections.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tundrel"
!define DESKTOP_KEY "Control Panel\Desktop"
; The user's own settings, which the saver writes; kept on uninstall unless asked.
!define SETTINGS_KEY "Software\Ombrix\Tundrel"
; Where the installer keeps, per user, the screen saver Tundrel replaced.
!define SETUP_KEY "Software\Ombrix\Tundrel Setup"
; The live wallpaper starts at logon from the user's Run key, under the name its running copy's
; window carries as its title.
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define WALLPAPER "Tundrel wallpaper"

Name "Tundrel"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\Tundrel"
BrandingText "Tundrel ${VERSION}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "Tundrel"
VIAddVersionKey /LANG=1033 "CompanyName" "Ombrix"
VIAddVersionKey /LANG=1033 "FileDescription" "Tundrel screen saver setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "MIT License"

Var Saver      ; the full path of the installed tundrel.scr
Var SaverWasThere

!define MUI_ABORTWARNING
!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_HEADERIMAGE
!define MUI_HEADERIMAGE_RIGHT
!define MUI_HEADERIMAGE_BITMAP "${ART}/header-96.bmp"
!define MUI_WELCOMEFINISHPAGE_BITMAP "${ART}/wizard-96.bmp"
!define MUI_CUSTOMFUNCTION_GUIINIT PicturesForDpi
!define MUI_CUSTOMFUNCTION_UNGUIINIT un.PicturesForDpi
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Open the Screen Saver Settings"
!define MUI_FINISHPAGE_RUN_NOTCHECKED
!define MUI_FINISHPAGE_RUN_FUNCTION OpenScreenSaverSettings
!define MUI_FINISHPAGE_NOREBOOTSUPPORT
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${LICENSE}"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Fails the install or uninstall: the message in a box (none when silent), exit code 2.
!macro Fail message
  MessageBox MB_OK|MB_ICONSTOP "${message}" /SD IDOK
  SetErrorLevel 2
  Abort
!macroend

; The pictures drawn for the screen's DPI: the bitmap controls take the size of their dialog units,
; and the pictures made for 96 DPI, stretched to them, would come out blocky. Runs after the Modern
; UI has put the 96 DPI ones in place, before the first page loads its picture.
!macro PicturesForDpi un
  Function ${un}PicturesForDpi
    System::Call 'user32::GetDC(p 0) p .r0'
    System::Call 'gdi32::GetDeviceCaps(p r0, i 88) i .r1' ; LOGPIXELSX
    System::Call 'user32::ReleaseDC(p 0, p r0)'
    ${If} $1 >= 168
      !insertmacro PicturesOf "${un}" 192
    ${ElseIf} $1 >= 120
      !insertmacro PicturesOf "${un}" 144
    ${EndIf}
  FunctionEnd
!macroend
!macro PicturesOf un dpi
  !if "${un}" == ""
    File "/oname=$PLUGINSDIR\modern-wizard.bmp" "${ART}/wizard-${dpi}.bmp"
  !endif
  File "/oname=$PLUGINSDIR\modern-header.bmp" "${ART}/header-${dpi}.bmp"
  SetBrandingImage /IMGID=1046 /RESIZETOFIT "$PLUGINSDIR\modern-header.bmp" ; the header's picture
!macroend
!insertmacro PicturesForDpi ""
!insertmacro PicturesForDpi "un."

; Sections run in a thread of their own, and redirection is switched per thread: every section
; that touches System32 switches it off itself.
!macro NativeSystemFolder
  ${If} ${RunningX64}
    ${DisableX64FSRedirection}
  ${EndIf}
!macroend

Section "Screen saver" SecSaver
  SectionIn RO
  !insertmacro NativeSystemFolder
  StrCpy $Saver "$SYSDIR\tundrel.scr"
  InitPluginsDir
  ${If} ${RunningX64}
    File "/oname=$PLUGINSDIR\tundrel.scr" "${SCR64}"
  ${Else}
    File "/oname=$PLUGINSDIR\tundrel.scr" "${SCR32}"
  ${EndIf}
  StrCpy $SaverWasThere 0
  ${If} ${FileExists} $Saver
    StrCpy $SaverWasThere 1
  ${EndIf}

  ; Written beside the old file, then put in its place in one step: a copy that fails half-way
  ; (a full disk) leaves the old saver whole, and a saver that is running (its file in use) or a
  ; folder without write rights fails here, before anything else changed.
  System::Call 'kernel32::CopyFileW(w "$PLUGINSDIR\tundrel.scr", w "$Saver.new", i 0) i .r0 ?e'
  Pop $1
  ${If} $0 <> 0
    System::Call 'kernel32::MoveFileExW(w "$Saver.new", w "$Saver", i 9) i .r0 ?e'
    Pop $1
    ${If} $0 = 0
      Delete "$Saver.new"
    ${EndIf}
  ${EndIf}
  ${If} $0 = 0
    !insertmacro Fail "Tundrel could not be installed: $Saver could not be written (Windows error $1). Close the screen saver if it is running, and run the setup as an administrator."
  ${EndIf}
  DetailPrint "Installed $Saver"

  SetOutPath $INSTDIR
  ClearErrors
  File "/oname=README.txt" "${README}"
  File "/oname=LICENSE.txt" "${LICENSE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  ${If} ${Errors}
    ${If} $SaverWasThere = 0
      Delete $Saver
    ${EndIf}
    !insertmacro Fail "Tundrel could not be installed: $INSTDIR could not be written."
  ${EndIf}

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Tundrel screen saver"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Ombrix"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$Saver,0"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  SectionGetSize ${SecSaver} $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Use as screen saver" SecCurrent
  ; The saver it replaces is remembered for the uninstaller, but not when Tundrel is already the
  ; current one (a second install), which would make the uninstaller restore Tundrel itself.
  ReadRegStr $0 HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
  ${If} $0 != $Saver
    WriteRegStr HKCU "${SETUP_KEY}" "PreviousScreenSaver" $0
  ${EndIf}
  WriteRegStr HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE" $Saver
  ; Running programs (the Screen Saver Settings among them) read the setting again.
  SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:${DESKTOP_KEY}" /TIMEOUT=2000
SectionEnd

Section /o "Use as live wallpaper" SecWallpaper
  !insertmacro NativeSystemFolder
  WriteRegStr HKCU "${RUN_KEY}" "${WALLPAPER}" '"$Saver" /w'
  ; A second one ends at once where one runs.
  Exec '"$Saver" /w'
SectionEnd

LangString DESC_SecSaver ${LANG_ENGLISH} "tundrel.scr in the Windows system folder, where the Screen Saver Settings list it."
LangString DESC_SecCurrent ${LANG_ENGLISH} "Choose Tundrel as your screen saver now; the uninstaller gives you back the one you had."
LangString DESC_SecWallpaper ${LANG_ENGLISH} "The winter scene behind your desktop's icons, now and at every logon; it pauses while a window covers it. The settings dialog turns it off."
!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecSaver} $(DESC_SecSaver)
  !insertmacro MUI_DESCRIPTION_TEXT ${SecCurrent} $(DESC_SecCurrent)
  !insertmacro MUI_DESCRIPTION_TEXT ${SecWallpaper} $(DESC_SecWallpaper)
!insertmacro MUI_FUNCTION_DESCRIPTION_END

Function .onInit
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "Admin"
    MessageBox MB_OK|MB_ICONSTOP "Tundrel is installed into the Windows system folder, which needs administrator rights. Run the setup as an administrator." /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}
  ${If} ${RunningX64}
    SetRegView 64
    ${If} $INSTDIR == "$PROGRAMFILES\Tundrel"
      StrCpy $INSTDIR "$PROGRAMFILES64\Tundrel"
    ${EndIf}
  ${EndIf}
  ; An update goes where the installed copy is.
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
    StrCpy $INSTDIR $0
  ${EndIf}
  ; Silent installs are mostly deployments, run under an account that is not the user's: they
  ; change nobody's screen saver unless /MAKECURRENT asks for it.
  ${If} ${Silent}
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/MAKECURRENT" $1
    ${If} ${Errors}
      !insertmacro UnselectSection ${SecCurrent}
    ${EndIf}
    ClearErrors
    ${GetOptions} $0 "/WALLPAPER" $1
    ${IfNot} ${Errors}
      !insertmacro SelectSection ${SecWallpaper}
    ${EndIf}
  ${EndIf}
FunctionEnd

; The 64-bit control.exe on 64-bit Windows: its Screen Saver Settings list the 64-bit savers.
Function OpenScreenSaverSettings
  !insertmacro NativeSystemFolder
  Exec '"$SYSDIR\control.exe" desk.cpl,,@screensaver'
  ${If} ${RunningX64}
    ${EnableX64FSRedirection}
  ${EndIf}
FunctionEnd

; The uninstaller: removes the saver (failing, with nothing else changed, while it is in use; a
; running live wallpaper is asked to end first) and the wallpaper's start at logon, gives back
; the screen saver it replaced where Tundrel is still the current one, and keeps the user's
; settings unless that component is chosen (never in a silent uninstall).
Section "un.Screen saver" SecUnSaver
  SectionIn RO
  !insertmacro NativeSystemFolder
  StrCpy $Saver "$SYSDIR\tundrel.scr"
  ; The running wallpaper is asked to close, as its settings dialog does, and awaited (at most
  ; 10 s), so that its file can go.
  FindWindow $0 "TundrelApplication" "${WALLPAPER}"
  ${If} $0 <> 0
    System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r1)'
    System::Call 'kernel32::OpenProcess(i 0x100000, i 0, i r1) p .r2' ; SYNCHRONIZE
    SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=5000
    System::Call 'kernel32::WaitForSingleObject(p r2, i 10000)'
    System::Call 'kernel32::CloseHandle(p r2)'
  ${EndIf}
  ${If} ${FileExists} $Saver
    ClearErrors
    Delete $Saver
    ${If} ${Errors}
      !insertmacro Fail "Tundrel could not be uninstalled: $Saver could not be deleted. Close the screen saver if it is running, and try again as an administrator."
    ${EndIf}
  ${EndIf}

  DeleteRegValue HKCU "${RUN_KEY}" "${WALLPAPER}"

  ; A current screen saver whose file is gone would be no screen saver at all: the one Tundrel
  ; replaced comes back, or none if there was none or it is not known.
  ReadRegStr $0 HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
  ${If} $0 == $Saver
    ReadRegStr $1 HKCU "${SETUP_KEY}" "PreviousScreenSaver"
    ${If} $1 == ""
      DeleteRegValue HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
    ${Else}
      WriteRegStr HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE" $1
    ${EndIf}
    SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:${DESKTOP_KEY}" /TIMEOUT=2000
  ${EndIf}
  DeleteRegKey HKCU "${SETUP_KEY}"
  DeleteRegKey /ifempty HKCU "Software\Ombrix"

  ; The entry goes before the folder: once the folder is gone the uninstall is complete.
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir $INSTDIR
SectionEnd

Section /o "un.Remove my settings" SecUnSettings
  DeleteRegKey HKCU "${SETTINGS_KEY}"
  DeleteRegKey /ifempty HKCU "Software\Ombrix"
SectionEnd

LangString DESC_SecUnSaver ${LANG_ENGLISH} "tundrel.scr, this program's entry in Apps and its folder."
LangString DESC_SecUnSettings ${LANG_ENGLISH} "Your choices in Tundrel's settings dialog (Show time, Show trails). Kept unless you tick this."
!insertmacro MUI_UNFUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecUnSaver} $(DESC_SecUnSaver)
  !insertmacro MUI_DESCRIPTION_TEXT ${SecUnSettings} $(DESC_SecUnSettings)
!insertmacro MUI_UNFUNCTION_DESCRIPTION_END

Function un.onInit
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
FunctionEnd
