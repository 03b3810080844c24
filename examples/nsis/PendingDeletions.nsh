; For an installer that ships Kestrane.exe. Kestrane cannot delete its own running
; Kestrane.exe when it uninstalls, so it leaves it, and the application folder, for
; Windows to delete at the next restart. An install made before that restart would
; lose its Kestrane.exe then. Take the folder out of those deletions before the files
; are installed:
;
;   !include "PendingDeletions.nsh"
;   Section
;     !insertmacro TakeFolderOutOfPendingDeletions "$INSTDIR"
;     SetOutPath "$INSTDIR"
;     ...
;
; or, without the macro: Push the folder, then Call TakeFolderOutOfPendingDeletions.
; Every delete or move waiting in HKLM\SYSTEM\CurrentControlSet\Control\Session Manager,
; value PendingFileRenameOperations, whose source or target is the folder or lies inside
; it goes; the others stay, in their order, and the value goes when none is left.
; Written for Target amd64-unicode and admin rights. The error flag is set when the
; value could not be read or changed; the install can go on either way.

!include LogicLib.nsh

!macro TakeFolderOutOfPendingDeletions FOLDER
  Push "${FOLDER}"
  Call TakeFolderOutOfPendingDeletions
!macroend

; HKEY_LOCAL_MACHINE as the Windows headers define it for a 64-bit program: sign-extended.
!define /ifndef PENDING_DELETIONS_HKLM -2147483646

; _PendingDeletionsInFolder PTR LENGTH: $R8 = 1 when the string of LENGTH characters at
; PTR, as MoveFileEx writes it, is the folder $0 ($9 characters) or lies inside it.
; Works in $R6, $R7 and $8.
!macro _PendingDeletionsInFolder PTR LENGTH
  StrCpy $R6 ${PTR}
  StrCpy $R7 ${LENGTH}
  StrCpy $R8 0
  ; Before "\??\": "!" for a target that replaces a file, and on recent Windows a "*1" or
  ; "*2" of its own.
  ${DoWhile} $R7 > 0
    System::Call "*$R6(&i2 .r8)"
    ${If} $8 >= 48
    ${AndIf} $8 <= 57
      StrCpy $8 42
    ${EndIf}
    ${If} $8 <> 33
    ${AndIf} $8 <> 42
      ${ExitDo}
    ${EndIf}
    IntPtrOp $R6 $R6 + 2
    IntOp $R7 $R7 - 1
  ${Loop}
  ${If} $R7 >= 4
    System::Call 'kernel32::CompareStringOrdinal(p R6, i 4, w "\??\", i 4, i 0) i .r8'
    ${If} $8 = 2
      IntPtrOp $R6 $R6 + 8
      IntOp $R7 $R7 - 4
    ${EndIf}
  ${EndIf}
  ${If} $R7 >= $9
    ; Ignoring case as the file system does, whatever the language.
    System::Call 'kernel32::CompareStringOrdinal(p R6, i r9, w r0, i r9, i 1) i .r8'
    ${If} $8 = 2
      ${If} $R7 = $9
        StrCpy $R8 1
      ${Else}
        ; "...\OrbelX" is not inside "...\Orbel".
        IntPtrOp $R6 $R6 + $9
        IntPtrOp $R6 $R6 + $9
        System::Call "*$R6(&i2 .r8)"
        ${If} $8 = 92
          StrCpy $R8 1
        ${EndIf}
      ${EndIf}
    ${EndIf}
  ${EndIf}
!macroend

Function TakeFolderOutOfPendingDeletions
  Exch $0
  Push $1
  Push $2
  Push $3
  Push $4
  Push $5
  Push $6
  Push $7
  Push $8
  Push $9
  Push $R0
  Push $R1
  Push $R2
  Push $R3
  Push $R4
  Push $R5
  Push $R6
  Push $R7
  Push $R8
  Push $R9

  StrCpy $1 $0 1 -1
  ${If} $1 == "\"
    StrCpy $0 $0 -1
  ${EndIf}
  StrLen $9 $0
  StrCpy $R9 0 ; pairs taken out
  StrCpy $5 0
  StrCpy $6 0
  StrCpy $3 "" ; what went wrong, if anything

  ${If} $9 = 0
    StrCpy $3 "no folder given"
    Goto pending_end
  ${EndIf}
  ; KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_WOW64_64KEY
  System::Call 'advapi32::RegOpenKeyExW(p ${PENDING_DELETIONS_HKLM}, w "SYSTEM\CurrentControlSet\Control\Session Manager", i 0, i 0x103, *p .r1) i .r2'
  ${If} $2 <> 0
    StrCpy $3 "the Session Manager key could not be opened (error $2)"
    Goto pending_end
  ${EndIf}

pending_read:
  ${If} $5 P<> 0
    System::Free $5
    System::Free $6
    StrCpy $5 0
    StrCpy $6 0
  ${EndIf}
  System::Call 'advapi32::RegQueryValueExW(p r1, w "PendingFileRenameOperations", p 0, *i .r4, p 0, *i .r7) i .r2'
  ${If} $2 = 2
    Goto pending_close ; nothing pending at all
  ${ElseIf} $2 <> 0
    StrCpy $3 "PendingFileRenameOperations could not be read (error $2)"
    Goto pending_close
  ${EndIf}
  ; Zeroed room past the end ends a last string written without its terminator.
  IntOp $8 $7 + 8
  System::Alloc $8
  Pop $5
  System::Alloc $8
  Pop $6
  ${If} $5 P= 0
  ${OrIf} $6 P= 0
    StrCpy $3 "no memory for $7 bytes"
    Goto pending_close
  ${EndIf}
  System::Call 'advapi32::RegQueryValueExW(p r1, w "PendingFileRenameOperations", p 0, *i .r4, p r5, *i r7 r7) i .r2'
  ${If} $2 = 234 ; ERROR_MORE_DATA: it grew in between
    Goto pending_read
  ${ElseIf} $2 = 2
    Goto pending_close
  ${ElseIf} $2 <> 0
    StrCpy $3 "PendingFileRenameOperations could not be read (error $2)"
    Goto pending_close
  ${EndIf}

  ; Pairs of strings, source then target (empty to delete). The list ends at an empty
  ; source, as Windows reads it.
  StrCpy $R0 $5
  IntPtrOp $R1 $5 + $7
  StrCpy $R5 $6 ; where the next kept pair goes
  ${DoWhile} $R0 P< $R1
    System::Call 'kernel32::lstrlenW(p R0) i .R2'
    ${If} $R2 = 0
      ${Break}
    ${EndIf}
    IntPtrOp $R3 $R2 + 1
    IntPtrOp $R3 $R3 * 2
    IntPtrOp $R3 $R0 + $R3
    System::Call 'kernel32::lstrlenW(p R3) i .R4'
    !insertmacro _PendingDeletionsInFolder $R0 $R2
    ${If} $R8 = 0
    ${AndIf} $R4 > 0
      !insertmacro _PendingDeletionsInFolder $R3 $R4
    ${EndIf}
    IntPtrOp $R4 $R4 + 1
    IntPtrOp $R4 $R4 * 2
    IntPtrOp $R4 $R3 + $R4 ; the next pair
    ${If} $R8 = 1
      IntOp $R9 $R9 + 1
    ${Else}
      IntPtrOp $R2 $R4 - $R0
      System::Call 'kernel32::RtlMoveMemory(p R5, p R0, p R2)'
      IntPtrOp $R5 $R5 + $R2
    ${EndIf}
    StrCpy $R0 $R4
  ${Loop}

  ${If} $R9 = 0
    Goto pending_close ; left as it was
  ${ElseIf} $R5 P= $6
    System::Call 'advapi32::RegDeleteValueW(p r1, w "PendingFileRenameOperations") i .r2'
  ${Else}
    ; The kept pairs and the empty string that ends the list (the buffer is zeroed).
    IntPtrOp $8 $R5 - $6
    IntOp $8 $8 + 2
    System::Call 'advapi32::RegSetValueExW(p r1, w "PendingFileRenameOperations", i 0, i r4, p r6, i r8) i .r2'
  ${EndIf}
  ${If} $2 <> 0
    StrCpy $3 "PendingFileRenameOperations could not be changed (error $2)"
  ${Else}
    DetailPrint "Taken out of the deletions pending for the next restart: $R9 for $0"
  ${EndIf}

pending_close:
  System::Call 'advapi32::RegCloseKey(p r1)'
pending_end:
  ${If} $5 P<> 0
    System::Free $5
  ${EndIf}
  ${If} $6 P<> 0
    System::Free $6
  ${EndIf}
  ClearErrors
  ${If} $3 != ""
    DetailPrint "The deletions pending for the next restart are left as they were: $3"
    SetErrors
  ${EndIf}

  Pop $R9
  Pop $R8
  Pop $R7
  Pop $R6
  Pop $R5
  Pop $R4
  Pop $R3
  Pop $R2
  Pop $R1
  Pop $R0
  Pop $9
  Pop $8
  Pop $7
  Pop $6
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
