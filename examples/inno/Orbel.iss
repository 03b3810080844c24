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
Source: "{#OrbelExe}"; DestDir: "{app}"; DestName: "{#App}.exe"
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

[Run]
; The rule Kestrane removes by name, replaced rather than doubled. {sys} is the 64-bit
; system folder in 64-bit mode.
Filename: "{sys}\netsh.exe"; Parameters: "advfirewall firewall delete rule name=""{#Rule}"""; Flags: runhidden
Filename: "{sys}\netsh.exe"; Parameters: "advfirewall firewall add rule name=""{#Rule}"" dir=in action=allow program=""{app}\{#App}.exe"" enable=yes"; Flags: runhidden
