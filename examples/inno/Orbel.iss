; The sample application Orbel, installed with Inno Setup in the layout Kestrane removes,
; as examples/nsis/Orbel.nsi installs it. Compile with Inno Setup's ISCC.exe, giving the
; files to ship and where to write the setup:
;   ISCC.exe /DKestraneExe=... /DOrbelExe=... /DOrbelChm=... /O<folder> /FOrbelInnoSetup Orbel.iss
#define App "Orbel"
#define Rule "Orbel Inbound"
#define Version "1.0.0"
#define Publisher "Orbel Software"
#define UninstallKey "Software\Microsoft\Windows\CurrentVersion\Uninstall\" + App

[Setup]
AppName={#App}
AppVersion={#Version}
AppPublisher={#Publisher}
; Inno Setup's own uninstaller and uninstall entry would stand beside Kestrane's: none.
Uninstallable=no
CreateUninstallRegKey=no
; The setup is a 32-bit program: in 64-bit mode {autopf} is the 64-bit Program Files
; folder, but say which one outright; Kestrane looks nowhere else.
ArchitecturesAllowed=x64compatible
ArchitecturesInstallIn64BitMode=x64compatible
DefaultDirName={commonpf64}\{#App}
DisableDirPage=yes
; {group} would be a subfolder of the Start menu, where Kestrane never looks.
DisableProgramGroupPage=yes
PrivilegesRequired=admin
OutputBaseFilename=OrbelInnoSetup
Compression=lzma2
SolidCompression=yes

[Files]
; Once the program is there, its firewall rule: before the entry, which is written last.
Source: "{#OrbelExe}"; DestDir: "{app}"; DestName: "{#App}.exe"; AfterInstall: AddFirewallRule
Source: "{#OrbelChm}"; DestDir: "{app}"; DestName: "{#App}.chm"
; Beside the application, so the uninstall entry can point at it.
Source: "{#KestraneExe}"; DestDir: "{app}"; DestName: "Kestrane.exe"

[Icons]
; The installing user's own folders: in administrative mode {autoprograms} and
; {autodesktop} are All Users', whose shortcuts Kestrane leaves behind.
Name: "{userprograms}\{#App}"; Filename: "{app}\{#App}.exe"
Name: "{userdesktop}\{#App}"; Filename: "{app}\{#App}.exe"

[Registry]
; Flat: Kestrane deletes the settings key without subkeys.
Root: HKCU; Subkey: "Software\{#App}"; ValueType: string; ValueName: "Language"; ValueData: "fr"
; HKLM64: the 64-bit view, whatever the setup's own bitness.
Root: HKLM64; Subkey: "{#UninstallKey}"; ValueType: string; ValueName: "DisplayName"; ValueData: "{#App}"
Root: HKLM64; Subkey: "{#UninstallKey}"; ValueType: string; ValueName: "DisplayVersion"; ValueData: "{#Version}"
Root: HKLM64; Subkey: "{#UninstallKey}"; ValueType: string; ValueName: "Publisher"; ValueData: "{#Publisher}"
Root: HKLM64; Subkey: "{#UninstallKey}"; ValueType: string; ValueName: "DisplayIcon"; ValueData: "{app}\Kestrane.exe,0"
Root: HKLM64; Subkey: "{#UninstallKey}"; ValueType: string; ValueName: "UninstallString"; ValueData: """{app}\Kestrane.exe"" {#App}/{#Rule}"
Root: HKLM64; Subkey: "{#UninstallKey}"; ValueType: dword; ValueName: "NoModify"; ValueData: 1
Root: HKLM64; Subkey: "{#UninstallKey}"; ValueType: dword; ValueName: "NoRepair"; ValueData: 1
; The size shown in the list, in KiB: the files above are all installed by now.
Root: HKLM64; Subkey: "{#UninstallKey}"; ValueType: dword; ValueName: "EstimatedSize"; ValueData: "{code:EstimatedSizeKiB}"

[Code]
const
  SessionManagerKey = 'SYSTEM\CurrentControlSet\Control\Session Manager';
  PendingValue = 'PendingFileRenameOperations';

function CompareStringOrdinal(S1: String; Length1: Integer; S2: String; Length2: Integer;
  IgnoreCase: Integer): Integer; external 'CompareStringOrdinal@kernel32.dll stdcall';

{ Path as MoveFileEx writes it: "\??\" and the path, after a "!" for a target that replaces
  a file and, on recent Windows, a "*1" or "*2" of its own. }
function IsInFolder(Path, Folder: String): Boolean;
var
  I: Integer;
begin
  I := 1;
  while (I <= Length(Path)) and ((Path[I] = '!') or (Path[I] = '*') or ((Path[I] >= '0') and (Path[I] <= '9'))) do
    I := I + 1;
  Delete(Path, 1, I - 1);
  if Copy(Path, 1, 4) = '\??\' then
    Delete(Path, 1, 4);
  { Ignoring case as the file system does; "...\OrbelX" is not inside "...\Orbel". }
  Result := (Length(Path) >= Length(Folder)) and
    (CompareStringOrdinal(Copy(Path, 1, Length(Folder)), Length(Folder), Folder, Length(Folder), 1) = 2) and
    ((Length(Path) = Length(Folder)) or (Path[Length(Folder) + 1] = '\'));
end;

function NextString(const Strings: String; var I: Integer): String;
var
  J: Integer;
begin
  J := I;
  while (J <= Length(Strings)) and (Strings[J] <> #0) do
    J := J + 1;
  Result := Copy(Strings, I, J - I);
  I := J + 1;
end;

{ Kestrane cannot delete its own running Kestrane.exe when it uninstalls, so it leaves it,
  and the folder, for Windows to delete at the next restart: an install made before that
  restart would lose its Kestrane.exe then. Every delete or move whose source or target is
  the folder or lies inside it goes; the others stay, in their order. }
procedure TakeFolderOutOfPendingDeletions(Folder: String);
var
  Pending, Kept, Source, Target: String;
  I, Taken: Integer;
  Done: Boolean;
begin
  Folder := RemoveBackslash(Folder);
  if (Folder = '') or not RegQueryMultiStringValue(HKLM, SessionManagerKey, PendingValue, Pending) then
    Exit;
  Kept := '';
  Taken := 0;
  I := 1;
  while I <= Length(Pending) do begin
    Source := NextString(Pending, I);
    { The list ends at an empty source, as Windows reads it. The empty target of a last
      delete is not in Pending: Inno Setup drops the nulls at the end of the value. }
    if Source = '' then
      Break;
    Target := NextString(Pending, I);
    if IsInFolder(Source, Folder) or ((Target <> '') and IsInFolder(Target, Folder)) then
      Taken := Taken + 1
    else
      Kept := Kept + Source + #0 + Target + #0;
  end;
  if Taken = 0 then
    Exit;
  if Kept = '' then
    Done := RegDeleteValue(HKLM, SessionManagerKey, PendingValue)
  else
    Done := RegWriteMultiStringValue(HKLM, SessionManagerKey, PendingValue, Kept);
  if Done then
    Log(Format('Taken out of the deletions pending for the next restart: %d for %s', [Taken, Folder]))
  else
    Log('The deletions pending for the next restart could not be changed');
end;

// The rule Kestrane removes by name, replaced rather than doubled. The setup's system folder is
// the 64-bit one in 64-bit mode. Here rather than in [Run], which comes after the entry.
procedure AddFirewallRule;
var
  ResultCode: Integer;
begin
  Exec(ExpandConstant('{sys}\netsh.exe'), 'advfirewall firewall delete rule name="{#Rule}"', '', SW_HIDE,
    ewWaitUntilTerminated, ResultCode);
  if not Exec(ExpandConstant('{sys}\netsh.exe'), ExpandConstant('advfirewall firewall add rule name="{#Rule}" ' +
      'dir=in action=allow program="{app}\{#App}.exe" enable=yes'), '', SW_HIDE, ewWaitUntilTerminated, ResultCode) or
     (ResultCode <> 0) then
    Log(Format('netsh could not add the firewall rule {#Rule} (exit code %d)', [ResultCode]));
end;

{ The application folder's files, in KiB rounded up, as Windows' list shows EstimatedSize. }
function EstimatedSizeKiB(Param: String): String;
var
  Found: TFindRec;
  Total, Size: Int64;
begin
  Total := 0;
  if FindFirst(ExpandConstant('{app}\*'), Found) then
    try
      repeat
        if Found.Attributes and FILE_ATTRIBUTE_DIRECTORY = 0 then begin
          Size := Found.SizeHigh;
          Size := Size * 4294967296 + Found.SizeLow;
          Total := Total + Size;
        end;
      until not FindNext(Found);
    finally
      FindClose(Found);
    end;
  Result := IntToStr((Total + 1023) div 1024);
end;

{ Once the install is confirmed (silent installs pass here too), and before "Preparing to
  Install": that step refuses to go on while a file the setup installs is pending. }
function NextButtonClick(CurPageID: Integer): Boolean;
begin
  if CurPageID = wpReady then
    TakeFolderOutOfPendingDeletions(ExpandConstant('{app}'));
  Result := True;
end;
