# The Windows installer (make dist): both programs in Program Files\Quorvane, a Start menu shortcut, an
# uninstall entry, and on request the folder on the user's PATH for quorvane-cli.
#   makensis -INPUTCHARSET UTF8 -DVERSION=1.2.3.4 -DSTAGE=folder -DICON=app.ico -DOUTFILE=setup.exe quorvane.nsi
# Switches: /S silent, /PATH adds the folder to the user's PATH, /D=folder (last, unquoted) chooses the folder.
# Nothing here may depend on the time of the build: SetDateSave off stores no file dates.
Unicode true
SetCompressor /SOLID lzma
SetDateSave off
RequestExecutionLevel admin
ManifestSupportedOS all

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WordFunc.nsh

!define KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvane"
!define PUBLISHER "Quorvane developers"

Name "Quorvane"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\Quorvane"
InstallDirRegKey HKLM "${KEY}" InstallLocation
BrandingText "Quorvane ${VERSION}"

VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=0 ProductName "Quorvane"
VIAddVersionKey /LANG=0 ProductVersion "${VERSION}"
VIAddVersionKey /LANG=0 FileVersion "${VERSION}"
VIAddVersionKey /LANG=0 FileDescription "Quorvane Setup"
VIAddVersionKey /LANG=0 CompanyName "${PUBLISHER}"
VIAddVersionKey /LANG=0 LegalCopyright "Copyright (C) 2026 ${PUBLISHER}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_FINISHPAGE_NOAUTOCLOSE

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

# The first language is the one shown where Windows speaks neither.
!insertmacro MUI_LANGUAGE "Japanese"
!insertmacro MUI_LANGUAGE "English"

LangString SecProgram ${LANG_JAPANESE} "Quorvane (暗号化ツールとコマンドライン)"
LangString SecProgram ${LANG_ENGLISH} "Quorvane (the tool and its command line)"
LangString SecPath ${LANG_JAPANESE} "quorvane-cli のフォルダーをユーザーの PATH に追加する"
LangString SecPath ${LANG_ENGLISH} "Add the folder to my PATH for quorvane-cli"
LangString PathTooLong ${LANG_JAPANESE} "PATH が長すぎるため、変更しませんでした。"
LangString PathTooLong ${LANG_ENGLISH} "Your PATH is too long to be changed safely; it was left as it is."

# Installer and uninstaller name the same files, so that the uninstaller removes exactly these.
!macro EachFile DO
  !insertmacro ${DO} "Quorvane.exe"
  !insertmacro ${DO} "quorvane-cli.exe"
  !insertmacro ${DO} "README-ja.txt"
  !insertmacro ${DO} "README-en.txt"
!macroend
!macro PutFile NAME
  File "${STAGE}\${NAME}"
!macroend
!macro RemoveFile NAME
  Delete "$INSTDIR\${NAME}"
!macroend

# The user's Path value in $R0 and its type in $R1 (0 none, 1 REG_SZ, 2 REG_EXPAND_SZ); $R2 is 0 when the
# text would not fit NSIS's strings together with the folder, and writing it back would then cut it short.
!macro UserPathFunctions UN
Function ${UN}ReadUserPath
  StrCpy $R0 ""
  StrCpy $R1 0
  StrCpy $R2 1
  # RRF_RT_ANY | RRF_NOEXPAND: the type and the size in bytes, the text left unexpanded.
  System::Call 'advapi32::RegGetValueW(p 0x80000001, w "Environment", w "Path", i 0x1000ffff, *i 0 R1, p 0, *i 0 R3) i .R4'
  ${If} $R4 <> 0
    StrCpy $R1 0
    Return
  ${EndIf}
  StrLen $R4 "$INSTDIR"
  IntOp $R3 $R3 / 2
  IntOp $R3 $R3 + $R4
  IntOp $R3 $R3 + 2
  ${If} $R3 >= ${NSIS_MAX_STRLEN}
  ${OrIf} $R1 < 1
  ${OrIf} $R1 > 2
    StrCpy $R2 0
    Return
  ${EndIf}
  ReadRegStr $R0 HKCU "Environment" "Path"
FunctionEnd

# Writes $R0 back with the type $R1 had; an empty text removes the value when $R5 says there was none before.
Function ${UN}WriteUserPath
  ${If} $R0 == ""
  ${AndIf} $R5 = 2
    DeleteRegValue HKCU "Environment" "Path"
  ${ElseIf} $R1 = 1
    WriteRegStr HKCU "Environment" "Path" "$R0"
  ${Else}
    WriteRegExpandStr HKCU "Environment" "Path" "$R0"
  ${EndIf}
  SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=1000
FunctionEnd
!macroend
!insertmacro UserPathFunctions ""
!insertmacro UserPathFunctions "un."

Section "!$(SecProgram)" SecProgram
  SectionIn RO
  SetOutPath "$INSTDIR"
  !insertmacro EachFile PutFile
  WriteUninstaller "$INSTDIR\uninstall.exe"

  SetShellVarContext all
  CreateShortcut "$SMPROGRAMS\Quorvane.lnk" "$INSTDIR\Quorvane.exe"

  WriteRegStr HKLM "${KEY}" DisplayName "Quorvane"
  WriteRegStr HKLM "${KEY}" DisplayVersion "${VERSION}"
  WriteRegStr HKLM "${KEY}" Publisher "${PUBLISHER}"
  WriteRegStr HKLM "${KEY}" DisplayIcon "$INSTDIR\Quorvane.exe,0"
  WriteRegStr HKLM "${KEY}" InstallLocation "$INSTDIR"
  WriteRegStr HKLM "${KEY}" UninstallString '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${KEY}" QuietUninstallString '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${KEY}" NoModify 1
  WriteRegDWORD HKLM "${KEY}" NoRepair 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${KEY}" EstimatedSize $0
SectionEnd

# Off unless chosen. The entry records what was done (1: added to a Path value, 2: made the value), so that
# the uninstaller takes back exactly that and leaves a folder the user had put on PATH alone.
Section /o "$(SecPath)" SecPath
  Call ReadUserPath
  ${If} $R2 = 0
    MessageBox MB_OK|MB_ICONEXCLAMATION "$(PathTooLong)" /SD IDOK
    Return
  ${EndIf}
  StrCpy $R5 1
  ${If} $R1 = 0
    StrCpy $R5 2
  ${EndIf}
  ${WordAdd} "$R0" ";" "+$INSTDIR" $R6
  ${If} $R6 == $R0
    Return
  ${EndIf}
  StrCpy $R0 $R6
  Call WriteUserPath
  WriteRegDWORD HKLM "${KEY}" AddedToUserPath $R5
SectionEnd

Function .onInit
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} "$R0" "/PATH" $R1
  ${IfNot} ${Errors}
    SectionSetFlags ${SecPath} ${SF_SELECTED}
  ${EndIf}
FunctionEnd

Section "Uninstall"
  ReadRegDWORD $R5 HKLM "${KEY}" AddedToUserPath
  ${If} $R5 <> 0
    Call un.ReadUserPath
    ${If} $R2 = 0
      MessageBox MB_OK|MB_ICONEXCLAMATION "$(PathTooLong)" /SD IDOK
    ${Else}
      ${WordAdd} "$R0" ";" "-$INSTDIR" $R6
      ${If} $R6 != $R0
        StrCpy $R0 $R6
        Call un.WriteUserPath
      ${EndIf}
    ${EndIf}
  ${EndIf}

  SetShellVarContext all
  Delete "$SMPROGRAMS\Quorvane.lnk"
  !insertmacro EachFile RemoveFile
  Delete "$INSTDIR\uninstall.exe"
  # Not /r: a file the user saved here keeps the folder.
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${KEY}"
SectionEnd
