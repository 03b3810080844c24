; The peer: the same uninstall written with NSIS and the plugins it ships.
; makensis -DOUT=<writer.exe> -DUNINSTALLER=<name> [-DRULE="<rule>"] Peer.nsi
; The writer, run once, writes the uninstaller next to itself.
Unicode true
Target amd64-unicode
!include LogicLib.nsh

!define APP "Bench"
!ifndef RULE
  !define RULE ""
!endif

Name "Kestrane"
Caption "Kestrane"
UninstallCaption "Kestrane"
OutFile "${OUT}"
SilentInstall silent
SilentUnInstall silent
ShowUninstDetails nevershow
RequestExecutionLevel admin
SetCompressor /SOLID lzma

Section
  WriteUninstaller "$EXEDIR\${UNINSTALLER}"
SectionEnd

Var Found

Section "Uninstall"
  ; Running check: a top-level window whose title holds the name. The
  ; plugin's callbacks fault in the 64-bit build, so the walk is FindWindow's
  ; and only the title is read through the plugin.
  StrCpy $Found 0
  StrCpy $1 0
  walk:
    FindWindow $1 "" "" 0 $1
    StrCmp $1 0 walked
    System::Call "user32::GetWindowTextW(p r1, w .r2, i 255)"
    System::Call "shlwapi::StrStrW(w r2, w '${APP}') p.r3"
    StrCmp $3 0 walk
    StrCpy $Found 1
  walked:
  ${If} $Found == 1
    MessageBox MB_OK|MB_ICONEXCLAMATION "${APP} est en cour d'exécution.$\nFermez le programme et recommencez."
    SetErrorLevel 2
    Quit
  ${EndIf}

  MessageBox MB_OKCANCEL|MB_ICONINFORMATION "Désinstaller  ${APP} ?" IDOK confirmed
  SetErrorLevel 0
  Quit
  confirmed:

  ; Firewall: the policy object must be creatable even when no rule is named.
  System::Call "ole32::CoCreateInstance(g '{E2B3C97F-6AE1-41AC-817A-F6F92166D7DD}', p 0, i 1, g '{98325047-C671-4174-8D81-DEFCD3F03186}', *p .r0) i.r1"
  ${If} $1 < 0
    MessageBox MB_OK|MB_ICONSTOP "Erreur.$\nPare-Feu."
    SetErrorLevel 1
    Quit
  ${EndIf}
  StrCpy $5 0
  !if "${RULE}" != ""
    ; INetFwPolicy2::get_Rules is slot 18, INetFwRules::Remove slot 9.
    System::Call "$0->18(*p .r2) i.r5"
    ${If} $5 >= 0
      System::Call "oleaut32::SysAllocString(w '${RULE}') p.r3"
      System::Call "$2->9(p r3)"
      System::Call "oleaut32::SysFreeString(p r3)"
      System::Call "$2->2()"
    ${EndIf}
  !endif
  System::Call "$0->2()"
  ${If} $5 < 0
    MessageBox MB_OK|MB_ICONSTOP "Erreur.$\nPare-Feu."
    SetErrorLevel 1
    Quit
  ${EndIf}

  ClearErrors
  SetRegView 64
  DeleteRegKey /ifnosubkeys HKLM "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\${APP}"
  DeleteRegKey /ifnosubkeys HKCU "Software\${APP}"
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONSTOP "Erreur.$\nRegistre."
    SetErrorLevel 1
    Quit
  ${EndIf}

  SetShellVarContext current
  Delete /REBOOTOK "$SMPROGRAMS\${APP}.lnk"
  Delete /REBOOTOK "$DESKTOP\${APP}.lnk"
  Delete /REBOOTOK "$INSTDIR\${APP}.exe"
  Delete /REBOOTOK "$INSTDIR\${APP}.chm"
  Delete /REBOOTOK "$INSTDIR\Kestrane.exe"
  RMDir /REBOOTOK "$INSTDIR"
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONSTOP "Erreur.$\nFichiers."
    SetErrorLevel 1
    Quit
  ${EndIf}

  ; The restart is requested as ours does it: NSIS's own Reboot goes through
  ; ExitWindowsEx, which under Wine really restarts the prefix (it carries out
  ; the pending deletions), where the call below is accepted and ignored.
  IfRebootFlag 0 done
    MessageBox MB_OKCANCEL|MB_ICONINFORMATION "Le système doit redémarrer pour terminer la désinstallation.$\nRedémarrer maintenant ?" IDCANCEL done
    System::Call "advapi32::OpenProcessToken(p -1, i 0x28, *p .r6) i.r7"
    StrCmp $7 0 restart_failed
    System::Call "*(i 1, i 0, i 0, i 2) p.r8"
    IntPtrOp $9 $8 + 4
    System::Call "advapi32::LookupPrivilegeValueW(p 0, w 'SeShutdownPrivilege', p r9) i.r7"
    StrCmp $7 0 restart_close
    System::Call "advapi32::AdjustTokenPrivileges(p r6, i 0, p r8, i 0, p 0, p 0) i.r7 ?e"
    Pop $7
    StrCmp $7 0 0 restart_close
    System::Free $8
    System::Call "kernel32::CloseHandle(p r6) i.r7"
    StrCmp $7 0 restart_failed
    System::Call "advapi32::InitiateSystemShutdownExW(p 0, p 0, i 0, i 0, i 1, i 0x80040002) i.r7"
    StrCmp $7 0 restart_failed done
  restart_close:
    System::Free $8
    System::Call "kernel32::CloseHandle(p r6)"
  restart_failed:
    MessageBox MB_OK|MB_ICONSTOP "Erreur.$\nRedémarrage."
    SetErrorLevel 1
    Quit
  done:
  MessageBox MB_OK|MB_ICONINFORMATION "Désinstallation terminée avec succès."
  SetErrorLevel 0
SectionEnd
