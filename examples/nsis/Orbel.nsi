; Installer of the sample application "Orbel", which ships Kestrane.exe as its
; uninstaller. Copy it for your own application: change the four names below and
; the files, and keep the layout, because Kestrane removes exactly this and nothing
; else:
;   C:\Program Files\<App>\<App>.exe, <App>.chm and Kestrane.exe, then the folder
;   <App>.lnk in the user's Start-menu Programs folder and on the user's desktop
;   HKCU\Software\<App>, values only
;   HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\<App>, 64-bit view
;   every firewall rule named in the uninstall entry
; There is no uninstall section and no uninstaller written by NSIS: Kestrane is
; the uninstaller.
;
; Built by CMake (examples/nsis/CMakeLists.txt):
;   makensis -DKESTRANE_EXE=<Kestrane.exe> -DORBEL_EXE=<Orbel.exe>
;            -DORBEL_CHM=<Orbel.chm> -DOUTFILE=<OrbelSetup.exe> Orbel.nsi
; Silent install: OrbelSetup.exe /S

; A 64-bit installer: $PROGRAMFILES64, the 64-bit registry view and Unicode texts,
; the same world as Kestrane itself.
Target amd64-unicode
SetCompressor /SOLID lzma
; The uninstall entry lives under HKLM and the files under Program Files; Kestrane's
; own manifest asks for the same rights when it removes them.
RequestExecutionLevel admin

!include FileFunc.nsh
; Beside this script; ${__FILEDIR__} finds it when makensis runs elsewhere (-NOCD).
!include "${__FILEDIR__}/PendingDeletions.nsh"

; The application's name is Kestrane's first argument: the folder, the .exe, the
; .chm, the shortcuts and both keys are all named after it, letter case included.
!define APP "Orbel"
; The firewall rule the installer adds and Kestrane removes ("NULL" if none).
!define RULE "Orbel Inbound"
!define VERSION "1.0.0"
!define PUBLISHER "Orbel Software"
!define UNINSTALL_KEY "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\${APP}"

!ifndef KESTRANE_EXE
  !error "define KESTRANE_EXE, the Kestrane.exe to ship"
!endif
!ifndef ORBEL_EXE
  !error "define ORBEL_EXE, the application's program"
!endif
!ifndef ORBEL_CHM
  !error "define ORBEL_CHM, the application's help"
!endif
!ifndef OUTFILE
  !error "define OUTFILE, the installer to write"
!endif

Name "${APP}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${APP}"
ShowInstDetails show

; No directory page: Kestrane looks for the application in Program Files only.
Page instfiles

Function .onInit
  SetRegView 64
  ; /D= would move the files where Kestrane never looks.
  StrCpy $INSTDIR "$PROGRAMFILES64\${APP}"
FunctionEnd

Section
  ; After an uninstall, Windows still has the old Kestrane.exe and the folder to delete
  ; at the next restart: an install before that restart would lose its Kestrane.exe.
  !insertmacro TakeFolderOutOfPendingDeletions "$INSTDIR"
  SetOutPath "$INSTDIR"
  File "/oname=${APP}.exe" "${ORBEL_EXE}"
  File "/oname=${APP}.chm" "${ORBEL_CHM}"
  ; Beside the application, so the uninstall entry can point at it.
  File "/oname=Kestrane.exe" "${KESTRANE_EXE}"

  ; Kestrane removes the shortcuts of the account it runs in, so they go to that
  ; user's folders, never to All Users (Kestrane would leave those behind).
  SetShellVarContext current
  CreateShortcut "$SMPROGRAMS\${APP}.lnk" "$INSTDIR\${APP}.exe"
  CreateShortcut "$DESKTOP\${APP}.lnk" "$INSTDIR\${APP}.exe"

  ; The settings key must stay flat: Kestrane deletes it without its subkeys and
  ; fails on one that has any.
  WriteRegStr HKCU "Software\${APP}" "Language" "fr"

  ; The rule Kestrane removes by name. A rule left by an earlier install is
  ; replaced rather than doubled. The result is not checked: Orbel still works
  ; without its rule.
  nsExec::Exec '"$SYSDIR\netsh.exe" advfirewall firewall delete rule name="${RULE}"'
  Pop $0
  nsExec::Exec '"$SYSDIR\netsh.exe" advfirewall firewall add rule name="${RULE}" dir=in action=allow program="$INSTDIR\${APP}.exe" enable=yes'
  Pop $0

  ; The uninstall entry comes last, so that it never points at files not yet
  ; there. SetRegView 64 in .onInit puts it where 64-bit Windows lists it.
  ; What "Apps" and "Programs and Features" show:
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${APP}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  ; Kestrane's icon, since Kestrane is what the entry starts.
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Kestrane.exe,0"
  ; What Windows starts to uninstall: the quoted path of the installed Kestrane.exe
  ; (it holds a blank), one blank, then the argument text "<App>/<Rule>". Kestrane
  ; takes everything after the blanks as the argument text, blanks and quotes
  ; included, so the rule name needs no quotes, and quotes would be refused.
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Kestrane.exe" ${APP}/${RULE}'
  ; No QuietUninstallString: Kestrane always asks for confirmation.
  ; Kestrane only removes: hide "Change" and "Repair".
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ; The size shown in the list, in KiB.
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd
