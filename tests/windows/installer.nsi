; The installer package of the end-to-end run: a silent nsis installer of component ${ID} that
; takes the switches the package launcher passes (/DIR="folder" /LOCALE=code, then the
; manifest's own arguments), installs a file and an uninstaller into the folder, and records
; "InstallDir" and "UninstallPath" in the component's machine key, in the registry's 64-bit
; view on a 64-bit Windows, as the component manager expects of its packages. Its exit code is
; ${EXIT}.
;   makensis -DID=Tool -DEXIT=0 -DOUT=tool.exe installer.nsi
Unicode true
SetCompressor /SOLID lzma
Name "Vomo ${ID}"
OutFile "${OUT}"
RequestExecutionLevel admin
SilentInstall silent
SilentUnInstall silent
InstallDir "$PROGRAMFILES\Vomo\${ID}"

!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "x64.nsh"

Section
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/DIR=" $R1
  ${IfNot} ${Errors}
    StrCpy $INSTDIR $R1
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/LOCALE=" $R2
  SetOutPath "$INSTDIR"
  FileOpen $0 "$INSTDIR\${ID}.txt" w
  FileWrite $0 "${ID} installed; locale $R2$\r$\n"
  FileClose $0
  WriteUninstaller "$INSTDIR\uninstall-${ID}.exe"
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
  WriteRegStr HKLM "SOFTWARE\Vomo\Install\${ID}" "InstallDir" "$INSTDIR"
  WriteRegStr HKLM "SOFTWARE\Vomo\Install\${ID}" "UninstallPath" "$INSTDIR\uninstall-${ID}.exe"
  SetErrorLevel ${EXIT}
SectionEnd

Section "Uninstall"
  Delete "$INSTDIR\${ID}.txt"
  Delete "$INSTDIR\uninstall-${ID}.exe"
  RMDir "$INSTDIR"  ; only when no other component is left in it
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
  DeleteRegKey HKLM "SOFTWARE\Vomo\Install\${ID}"
SectionEnd
