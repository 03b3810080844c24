; The sample installer with faults a vendor's first installer may have, each
; switched on at compile time, for the installer check to find:
;   -DEXTRA_FILE          a readme.txt beside the three files Kestrane removes
;   -DREGVIEW32           the uninstall entry in the 32-bit registry view
;   -DQUOTED_ARGUMENTS    quotes around the argument text
;   -DSUBFOLDER_SHORTCUT  the Start-menu shortcut in a subfolder
;   -DENVIRONMENT_VALUE   a variable added to the user's environment, a key that was there before
;   -DCHANGED_FILE        a line appended to the Windows folder's win.ini, a file that was there before
;   -DROOT_FOLDER         a folder of data at the root of the system drive
;   -DAUTOSTART           a value under the user's Run key that starts Orbel.exe at every logon
;   -DFONT                a font in the Windows fonts folder, with its value in the key both views share
;   -DSERVICE             a service, written as its key, that starts Orbel.exe at every startup
;   -DPATH_ENTRY          the folder "bin" of the application folder added to the user's Path
;   -DCOM_HANDLER         a COM class served by Orbel.exe, named by a context-menu handler of every file
;   -DFILE_TYPE           a per-user file type .orbeldoc opened by Orbel.exe
;   -DRUNDLL_RUN          a value under the user's Run key that has rundll32 load OrbelHook.dll
;                         from the application folder at every logon
;   -DCLASS32             a COM class of the 32-bit view served by Orbel.exe
;   -DDATA_FOLDER=PATH    PATH's tree installed as the folder "data" (the check's benchmark)
;   -DNO_PENDING_CARE     the application folder left among the deletions pending for the next
;                         restart, where Kestrane's last uninstall put it
;   -DSERVICE_WRITER      a service of its own program (ORBEL_WRITER_EXE, as OrbelService.exe under
;                         ProgramData\Orbel), automatic start, registered and started with sc.exe: it
;                         writes a new log under a new name every 1 to 2 s into the Windows help folder
;   -DAGENT               the same program, as OrbelAgent.exe, started by the installer itself,
;                         doing the same as an agent, running on after the installer ends
;   -DHELP_FILE           a help file of its own in the Windows help folder, there before the install
;   -DSELF_COPY           as bootstrappers do, a byte-for-byte copy of itself under ProgramData\Package Cache,
;                         started without waiting at the end of the install: the copy waits (ending by itself
;                         after 2 minutes), so the install ends only when the copy does
;   -DSECOND_RULE         the firewall rule "Orbel Inbound", which the argument text names, and a
;                         second one for Orbel.exe, "Orbel Sharing", which it does not: both added
;                         with netsh, as the sample adds its rule
;   -DCHAINED_MSI=PATH    the Windows Installer package PATH (OrbelRuntime.wxs) installed silently
;                         with msiexec during the install, as installers chain a runtime
; Without a switch it installs what examples/nsis/Orbel.nsi does (no firewall rule).
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
!ifndef NO_PENDING_CARE
  !include "${__FILEDIR__}/../../examples/nsis/PendingDeletions.nsh"
!endif

!define APP "Orbel"
!define UNINSTALL_KEY "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\${APP}"
!ifdef QUOTED_ARGUMENTS
  !define ARGUMENTS '"${APP}/NULL"'
!else ifdef SECOND_RULE
  !define ARGUMENTS "${APP}/${APP} Inbound"
!else
  !define ARGUMENTS "${APP}/NULL"
!endif

Name "${APP}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${APP}"
Page instfiles

!ifdef SELF_COPY
  !define SELF_COPY_FOLDER "Package Cache\{3C4D5E6F-7A8B-4C9D-8E0F-1A2B3C4D5E6F}"
!endif

Function .onInit
!ifdef SELF_COPY
  ReadEnvStr $0 "ProgramData"
  StrCmp $EXEDIR "$0\${SELF_COPY_FOLDER}" 0 not_the_copy
    StrCpy $1 0
    copy_waits:
      Sleep 1000
      IntOp $1 $1 + 1
      IntCmp $1 120 0 copy_waits
    Quit
  not_the_copy:
!endif
!ifdef REGVIEW32
  SetRegView 32
!else
  SetRegView 64
!endif
FunctionEnd

Section
!ifndef NO_PENDING_CARE
  !insertmacro TakeFolderOutOfPendingDeletions "$INSTDIR"
!endif
  SetOutPath "$INSTDIR"
  File "/oname=${APP}.exe" "${ORBEL_EXE}"
  File "/oname=${APP}.chm" "${ORBEL_CHM}"
  File "/oname=Kestrane.exe" "${KESTRANE_EXE}"
!ifdef DATA_FOLDER
  SetOutPath "$INSTDIR\data"
  File /r "${DATA_FOLDER}\*"
  SetOutPath "$INSTDIR"
!endif
!ifdef EXTRA_FILE
  FileOpen $0 "$INSTDIR\readme.txt" w
  FileWrite $0 "Orbel"
  FileClose $0
!endif

  SetShellVarContext current
!ifdef SUBFOLDER_SHORTCUT
  CreateDirectory "$SMPROGRAMS\${APP}"
  CreateShortcut "$SMPROGRAMS\${APP}\${APP}.lnk" "$INSTDIR\${APP}.exe"
!else
  CreateShortcut "$SMPROGRAMS\${APP}.lnk" "$INSTDIR\${APP}.exe"
!endif
  CreateShortcut "$DESKTOP\${APP}.lnk" "$INSTDIR\${APP}.exe"
  WriteRegStr HKCU "Software\${APP}" "Language" "fr"
!ifdef ENVIRONMENT_VALUE
  WriteRegStr HKCU "Environment" "ORBEL_HOME" "$INSTDIR"
!endif
!ifdef CHANGED_FILE
  FileOpen $0 "$WINDIR\win.ini" a
  FileSeek $0 0 END
  FileWrite $0 "[${APP}]$\r$\nLanguage=fr$\r$\n"
  FileClose $0
!endif
!ifdef ROOT_FOLDER
  StrCpy $1 $WINDIR 2
  CreateDirectory "$1\${APP}Data"
  FileOpen $0 "$1\${APP}Data\settings.ini" w
  FileWrite $0 "[${APP}]"
  FileClose $0
!endif
!ifdef AUTOSTART
  WriteRegStr HKCU "Software\Microsoft\Windows\CurrentVersion\Run" "${APP}" '"$INSTDIR\${APP}.exe" /background'
!endif
!ifdef FONT
  FileOpen $0 "$FONTS\${APP}.ttf" w
  FileWrite $0 "${APP}"
  FileClose $0
  WriteRegStr HKLM "SOFTWARE\Microsoft\Windows NT\CurrentVersion\Fonts" "${APP} (TrueType)" "${APP}.ttf"
!endif
!ifdef SERVICE
  WriteRegExpandStr HKLM "SYSTEM\CurrentControlSet\Services\${APP}Agent" "ImagePath" '"$INSTDIR\${APP}.exe" /service'
  WriteRegDWORD HKLM "SYSTEM\CurrentControlSet\Services\${APP}Agent" "Start" 2
  WriteRegDWORD HKLM "SYSTEM\CurrentControlSet\Services\${APP}Agent" "Type" 16
!endif
!ifdef COM_HANDLER
  !define ORBEL_CLASS "{6F1A2B3C-0D4E-4F50-8A6B-7C8D9E0F1A2B}"
  WriteRegStr HKCU "Software\Classes\CLSID\${ORBEL_CLASS}" "" "${APP} menu"
  WriteRegStr HKCU "Software\Classes\CLSID\${ORBEL_CLASS}\LocalServer32" "" '"$INSTDIR\${APP}.exe"'
  WriteRegStr HKCU "Software\Classes\*\shellex\ContextMenuHandlers\${APP}Menu" "" "${ORBEL_CLASS}"
!endif
!ifdef FILE_TYPE
  WriteRegStr HKCU "Software\Classes\.orbeldoc" "" "${APP}.Document"
  WriteRegStr HKCU "Software\Classes\${APP}.Document" "" "${APP} document"
  WriteRegStr HKCU "Software\Classes\${APP}.Document\shell\open\command" "" '"$INSTDIR\${APP}.exe" "%1"'
!endif
!ifdef RUNDLL_RUN
  ; The DLL is not installed: Kestrane would leave it, a leftover of its own, and the value
  ; would then load a DLL that is there. What counts is that it names the removed folder.
  WriteRegStr HKCU "Software\Microsoft\Windows\CurrentVersion\Run" "${APP}Hook" 'rundll32.exe "$INSTDIR\${APP}Hook.dll",Start'
!endif
!ifdef CLASS32
  ; Where a 32-bit installer's registration lands on 64-bit Windows.
  !define ORBEL_CLASS32 "{7B2C3D4E-1F5A-4B6C-9D7E-8F9A0B1C2D3E}"
  WriteRegStr HKLM "SOFTWARE\Classes\WOW6432Node\CLSID\${ORBEL_CLASS32}" "" "${APP} 32-bit server"
  WriteRegStr HKLM "SOFTWARE\Classes\WOW6432Node\CLSID\${ORBEL_CLASS32}\LocalServer32" "" '"$INSTDIR\${APP}.exe"'
!endif
!ifdef PATH_ENTRY
  WriteRegExpandStr HKCU "Environment" "Path" "$INSTDIR\bin"
!endif
!ifdef SECOND_RULE
  !macro Rule NAME
    nsExec::Exec '"$SYSDIR\netsh.exe" advfirewall firewall delete rule name="${NAME}"'
    Pop $0
    nsExec::Exec '"$SYSDIR\netsh.exe" advfirewall firewall add rule name="${NAME}" dir=in action=allow program="$INSTDIR\${APP}.exe" enable=yes'
    Pop $0
  !macroend
  !insertmacro Rule "${APP} Inbound"
  !insertmacro Rule "${APP} Sharing"
!endif
!ifdef SERVICE_WRITER | AGENT
  ; As installers wait for what they start to be up: here, its first log.
  !macro WaitForFirstLog KIND
    StrCpy $2 0
    wait_${KIND}:
      IfFileExists "$WINDIR\Help\orbel-${KIND}-*.log" waited_${KIND}
      IntOp $2 $2 + 1
      IntCmp $2 100 waited_${KIND}
      Sleep 100
      Goto wait_${KIND}
    waited_${KIND}:
  !macroend
!endif
!ifdef HELP_FILE
  SetOutPath "$WINDIR\Help"
  File "/oname=${APP}.chm" "${ORBEL_CHM}"
  SetOutPath "$INSTDIR"
!endif
!ifdef SERVICE_WRITER
  ReadEnvStr $1 "ProgramData"
  SetOutPath "$1\${APP}"
  ; Installed again while the first installation's service runs, the program is in use.
  SetOverwrite try
  File "/oname=${APP}Service.exe" "${ORBEL_WRITER_EXE}"
  SetOverwrite on
  SetOutPath "$INSTDIR"
  nsExec::Exec 'sc.exe create ${APP}Writer binPath= "$1\${APP}\${APP}Service.exe /service" start= auto'
  Pop $0
  nsExec::Exec 'sc.exe start ${APP}Writer'
  Pop $0
  !insertmacro WaitForFirstLog service
!endif
!ifdef AGENT
  ReadEnvStr $1 "ProgramData"
  SetOutPath "$1\${APP}"
  SetOverwrite try
  File "/oname=${APP}Agent.exe" "${ORBEL_WRITER_EXE}"
  SetOverwrite on
  ; Started in its own folder: a program's current folder cannot be deleted while it runs.
  Exec '"$1\${APP}\${APP}Agent.exe" /agent'
  !insertmacro WaitForFirstLog agent
  SetOutPath "$INSTDIR"
!endif
!ifdef CHAINED_MSI
  InitPluginsDir
  File "/oname=$PLUGINSDIR\runtime.msi" "${CHAINED_MSI}"
  ExecWait 'msiexec /i "$PLUGINSDIR\runtime.msi" /qn' $0
!endif

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${APP}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Kestrane.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Kestrane.exe" ${ARGUMENTS}'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
!ifdef SELF_COPY
  ReadEnvStr $1 "ProgramData"
  CreateDirectory "$1\${SELF_COPY_FOLDER}"
  CopyFiles /SILENT "$EXEPATH" "$1\${SELF_COPY_FOLDER}\$EXEFILE"
  Exec '"$1\${SELF_COPY_FOLDER}\$EXEFILE" /S'
!endif
SectionEnd
