; The Vantrell installer. The build makes it (installer/CMakeLists.txt):
;
;   makensis -DARCH=x64|x86 -DVERSION=a.b.c.d -DFILELIST=files.nsh
;            -DOUTFILE=vantrell-setup-a.b.c.d.exe vantrell.nsi
;
; FILELIST comes from make_file_lists.py: the macros FILES_<part> and
; REMOVE_<part> for the parts core, ie55, ie6, ie7, ie8 and ie9.
;
; It installs the program into Program Files, writes the installation folder
; as "Install_Dir" under HKLM\Software\Brenmoor\Vantrell (where the program
; looks for its language files), makes Start menu shortcuts and registers an
; uninstaller in Add/Remove Programs. The engine files of each version are a
; component of their own. Silent: "vantrell-setup.exe /S /D=C:\Folder".
;
; The uninstaller removes every file it placed, its shortcuts and its
; machine-wide keys. The user's settings (HKCU\Software\Brenmoor\Vantrell)
; stay, unless its component "Remove my settings" is chosen or, silently,
; "uninstall.exe /S /REMOVESETTINGS" is run.

Unicode true
!if "${ARCH}" == "x64"
  Target amd64-unicode
!else
  Target x86-unicode
!endif

!include "${FILELIST}"
!include "FileFunc.nsh"
!include "Sections.nsh"

!define PRODUCT "Vantrell"
!define PUBLISHER "Brenmoor"
!define MACHINE_KEY "Software\Brenmoor\Vantrell"
!define COMPANY_KEY "Software\Brenmoor"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Vantrell"
!define SHORTCUTS "$SMPROGRAMS\Vantrell"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
!if "${ARCH}" == "x64"
  InstallDir "$PROGRAMFILES64\Vantrell"
!else
  InstallDir "$PROGRAMFILES\Vantrell"
!endif
RequestExecutionLevel admin
SetCompressor /SOLID lzma
ShowInstDetails nevershow
ShowUninstDetails nevershow

VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

Page components
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage components
UninstPage instfiles

; The 64-bit program reads the 64-bit view of the registry, the 32-bit one
; its own; shortcuts are for every user of the machine.
!macro ChooseViews
  !if "${ARCH}" == "x64"
    SetRegView 64
  !endif
  SetShellVarContext all
!macroend

Function .onInit
  !insertmacro ChooseViews
FunctionEnd

Section "Vantrell (required)" SecCore
  SectionIn RO
  !insertmacro FILES_core
  WriteRegStr HKLM "${MACHINE_KEY}" "Install_Dir" "$INSTDIR"

  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\vantrell.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1

  SetOutPath "$INSTDIR"
  CreateDirectory "${SHORTCUTS}"
  CreateShortcut "${SHORTCUTS}\Vantrell.lnk" "$INSTDIR\vantrell.exe"
  CreateShortcut "${SHORTCUTS}\Vantrell sample page.lnk" "$INSTDIR\vantrell.exe" \
    '-all "$INSTDIR\samples\compare.html"'
  CreateShortcut "${SHORTCUTS}\Uninstall Vantrell.lnk" "$INSTDIR\uninstall.exe"
SectionEnd

Section "IE 5.5 engine files" SecIE55
  !insertmacro FILES_ie55
SectionEnd

Section "IE 6 engine files" SecIE6
  !insertmacro FILES_ie6
SectionEnd

Section "IE 7 engine files" SecIE7
  !insertmacro FILES_ie7
SectionEnd

Section "IE 8 engine files" SecIE8
  !insertmacro FILES_ie8
SectionEnd

Section "IE 9 (runs in a child process)" SecIE9
  !insertmacro FILES_ie9
SectionEnd

; The size shown in Add/Remove Programs, in KiB, of what was installed.
Section "-Size"
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

; ---------------------------------------------------------------------------
; Uninstaller

; The user's settings go first when asked for, and the installation folder
; last: its disappearance marks the end of the uninstallation.
Section /o "un.Remove my settings" UnSecSettings
  DeleteRegKey HKCU "${MACHINE_KEY}"
  DeleteRegKey /ifempty HKCU "${COMPANY_KEY}"
SectionEnd

Section "un.Vantrell" UnSecProgram
  SectionIn RO
  Delete "${SHORTCUTS}\Vantrell.lnk"
  Delete "${SHORTCUTS}\Vantrell sample page.lnk"
  Delete "${SHORTCUTS}\Uninstall Vantrell.lnk"
  RMDir "${SHORTCUTS}"

  DeleteRegValue HKLM "${MACHINE_KEY}" "Install_Dir"
  DeleteRegKey /ifempty HKLM "${MACHINE_KEY}"
  DeleteRegKey /ifempty HKLM "${COMPANY_KEY}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"

  ; Every part, whichever were chosen: a file that is not there is skipped.
  !insertmacro REMOVE_ie9
  !insertmacro REMOVE_ie8
  !insertmacro REMOVE_ie7
  !insertmacro REMOVE_ie6
  !insertmacro REMOVE_ie55
  !insertmacro REMOVE_core
  Delete "$INSTDIR\uninstall.exe"
  ; Only when empty: what the user put there stays.
  RMDir "$INSTDIR"
SectionEnd

Function un.onInit
  !insertmacro ChooseViews
  ${un.GetParameters} $0
  ClearErrors
  ${un.GetOptions} $0 "/REMOVESETTINGS" $1
  IfErrors keep
    !insertmacro SelectSection ${UnSecSettings}
  keep:
FunctionEnd
