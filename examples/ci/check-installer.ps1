<#
.SYNOPSIS
    Runs CheckInstaller.exe on an installer, keeps its reports, and ends with its exit code.

.DESCRIPTION
    The check installs the application for real and uninstalls it: run this only where that
    costs nothing (a CI runner, Windows Sandbox, a throwaway virtual machine), as an
    administrator. Windows PowerShell 5.1 or PowerShell 7.

    Into -ReportFolder it writes report.txt (the text report, UTF-8 as the check writes it,
    also printed here as it comes), report.json (the report for machines) and check.state
    (what CheckInstaller.exe --after-restart needs after a restart).

    Exit codes: 0 nothing left and no problem; 1 a problem found or something left; 2 the check
    could not run; 3 the whole run outlasted -TimeoutSeconds and was stopped, with whatever it
    had started.

.PARAMETER LimitSeconds
    How long the installer, the uninstall and the reinstall may each run (the check's --limit).

.PARAMETER WatchSeconds
    At most how long the check watches, after the install, what may change by itself (the
    check's --watch; 0 never watches).

.PARAMETER TimeoutSeconds
    How long the whole run may take. Given, it is also the check's --budget: after its first look
    at the machine the check reckons its worst case, and stops with exit code 2 before installing
    anything when that is longer. By default the run may take what the check reckons after its
    first look ("the whole run takes at most N s": the looks to come as long as the first, the
    three limits, the watch) and 2 minutes for the reads and reports after it; until that line
    comes, the first look may take the three limits, the watch and 10 minutes.

.PARAMETER InstallerArguments
    The installer's arguments: unnamed, last, after --, each as it is:
    ... -ReportFolder report -- /S --mode=unattended
    Not as a list after -InstallerArguments: -File binds no list to a parameter, and reads an
    argument that starts with - as a parameter's name. After -- an argument starting with - still
    must not be one of this script's parameters or the start of one (-l, -r, -Verbose...), nor
    hold a colon: PowerShell's -File takes those for its own. Default: none, and the check
    starts the installer with its kind's silent switches (NSIS, Inno Setup; else /S).

.EXAMPLE
    powershell.exe -ExecutionPolicy Bypass -File .\check-installer.ps1 -CheckInstaller .\CheckInstaller.exe -Installer .\setup.exe -LimitSeconds 300 -- /S /NCRC

    Windows' default execution policy (Restricted on Windows 11) refuses .\check-installer.ps1 on
    its own; -ExecutionPolicy Bypass lets this one run, for this run only. In PowerShell 7:
    pwsh -ExecutionPolicy Bypass -File .\check-installer.ps1 ...

    Read report.txt in the report folder rather than redirecting this script's output with > in
    Windows PowerShell 5.1, which writes what it captured as UTF-16 through the console's code
    page: every character outside ASCII is then garbled. report.txt is the check's own UTF-8.
#>
[CmdletBinding(PositionalBinding = $false)]
param(
    [Parameter(Mandatory = $true)] [string] $CheckInstaller,
    [Parameter(Mandatory = $true)] [string] $Installer,
    [ValidateRange(1, 86400)] [int] $LimitSeconds = 300,
    [ValidateRange(0, 600)] [int] $WatchSeconds = 12,
    [string] $ReportFolder = 'CheckInstaller-report',
    [ValidateRange(0, 2000000)] [int] $TimeoutSeconds = 0,
    [Parameter(ValueFromRemainingArguments = $true)] [string[]] $InstallerArguments = @()
)
$ErrorActionPreference = 'Stop'
# Whatever fails here is the check not running, not a problem it found.
trap { [Console]::Error.WriteLine("check-installer.ps1: $_"); exit 2 }

function Stop-CannotRun([string] $Why) {
    [Console]::Error.WriteLine("check-installer.ps1: $Why")
    exit 2
}

# Through -File, PowerShell passes the -- before the installer's arguments on as one of them
# (called from PowerShell itself, it takes it): the installer must not get it.
if ($InstallerArguments.Count -gt 0 -and $InstallerArguments[0] -eq '--') {
    $InstallerArguments = @($InstallerArguments | Select-Object -Skip 1)
}

# Windows splits a command line by these rules (CommandLineToArgvW): quote what needs it.
function ConvertTo-Argument([string] $Text) {
    if ($Text -ne '' -and $Text -notmatch '[\s"]') { return $Text }
    return '"' + ($Text -replace '(\\*)"', '$1$1\"' -replace '(\\+)$', '$1$1') + '"'
}

foreach ($path in $CheckInstaller, $Installer) {
    if (-not (Test-Path -LiteralPath $path -PathType Leaf)) { Stop-CannotRun "no such file: $path" }
}
# Relative paths are PowerShell's, which the program's own current folder may not be.
$CheckInstaller = (Resolve-Path -LiteralPath $CheckInstaller).ProviderPath
$Installer = (Resolve-Path -LiteralPath $Installer).ProviderPath
# Where the reports go is made and tried before anything is installed.
try {
    New-Item -ItemType Directory -Force -Path $ReportFolder | Out-Null
    $ReportFolder = (Resolve-Path -LiteralPath $ReportFolder).ProviderPath
} catch {
    Stop-CannotRun "cannot make the report folder $ReportFolder`: $($_.Exception.Message)"
}
$textPath = Join-Path $ReportFolder 'report.txt'
$jsonPath = Join-Path $ReportFolder 'report.json'
$statePath = Join-Path $ReportFolder 'check.state'
# A report left by an earlier run would pass for this one's.
if (Test-Path -LiteralPath $jsonPath) { Remove-Item -LiteralPath $jsonPath }
# A budget given is the check's too, less the reads and reports after its reckoning; without one,
# the run's own reckoning after its first look is the budget, and until then the first look may
# take as long as the rest of the run.
$afterReckoning = 120
$budget = @()
if ($TimeoutSeconds -ne 0) { $budget = @('--budget', [Math]::Min([Math]::Max($TimeoutSeconds - $afterReckoning, 1), 604800)) }
$reckoned = $TimeoutSeconds -eq 0
if ($reckoned) { $TimeoutSeconds = 3 * $LimitSeconds + $WatchSeconds + 600 }

$arguments = @('--limit', $LimitSeconds, '--watch', $WatchSeconds) + $budget + @('--json', $jsonPath, '--state', $statePath, $Installer) + $InstallerArguments
$info = New-Object System.Diagnostics.ProcessStartInfo
$info.FileName = $CheckInstaller
$info.Arguments = ($arguments | ForEach-Object { ConvertTo-Argument "$_" }) -join ' '
$info.WorkingDirectory = (Get-Location).ProviderPath
$info.UseShellExecute = $false
$info.RedirectStandardOutput = $true
Write-Host "check-installer.ps1: $CheckInstaller $($info.Arguments)"
if ($reckoned) {
    Write-Host "check-installer.ps1: the first look may take $TimeoutSeconds s; the check then says how long the whole run may take; reports in $ReportFolder"
} else {
    Write-Host "check-installer.ps1: the whole run may take $TimeoutSeconds s (--budget); reports in $ReportFolder"
}

# The check writes UTF-8 to a pipe. Its bytes go to report.txt as they are, and to a
# redirected output (a runner's log, which reads its annotations there) as they are too;
# a console gets them decoded.
try {
    $file = [System.IO.File]::Create($textPath)
} catch {
    Stop-CannotRun "cannot write $textPath`: $($_.Exception.Message)"
}
$console = if ([Console]::IsOutputRedirected) { $null } else { [Console]::Out }
$stdout = if ($console) { $null } else { [Console]::OpenStandardOutput() }
$decoder = [System.Text.Encoding]::UTF8.GetDecoder()
$reader = [System.Text.Encoding]::UTF8.GetDecoder()
$seen = ''
$buffer = New-Object byte[] 65536
$chars = New-Object char[] ([System.Text.Encoding]::UTF8.GetMaxCharCount($buffer.Length))
# The check's reckoning after its first look sets the deadline, once.
function Read-Reckoning([int] $Count) {
    $text = New-Object char[] ([System.Text.Encoding]::UTF8.GetMaxCharCount($Count))
    $script:seen += [string]::new($text, 0, $reader.GetChars($buffer, 0, $Count, $text, 0))
    if ($script:seen -match 'the whole run takes at most (\d+) s') {
        $script:TimeoutSeconds = [int]$Matches[1] + $afterReckoning
        $script:deadline = $started.AddSeconds($script:TimeoutSeconds)
        $script:reckoned = $false
        Write-Host "check-installer.ps1: the check reckons the whole run at $($Matches[1]) s at most: stopped after $($script:TimeoutSeconds) s"
    } elseif ($script:seen.Length -gt 4096) {
        $script:seen = $script:seen.Substring($script:seen.Length - 1024)
    }
}
function Write-Chunk([int] $Count) {
    $file.Write($buffer, 0, $Count)
    $file.Flush()
    if ($console) {
        $console.Write($chars, 0, $decoder.GetChars($buffer, 0, $Count, $chars, 0))
    } else {
        $stdout.Write($buffer, 0, $Count)
        $stdout.Flush()
    }
    if ($reckoned) { Read-Reckoning $Count }
}

try {
    $process = [System.Diagnostics.Process]::Start($info)
} catch {
    $file.Dispose()
    Stop-CannotRun "cannot start $CheckInstaller`: $($_.Exception.Message)"
}
$started = [DateTime]::UtcNow
$deadline = $started.AddSeconds($TimeoutSeconds)
$output = $process.StandardOutput.BaseStream
$read = $output.ReadAsync($buffer, 0, $buffer.Length)
$timedOut = $false
while ($true) {
    if ($read.Wait(500)) {
        if ($read.Result -eq 0) { break }
        Write-Chunk $read.Result
        $read = $output.ReadAsync($buffer, 0, $buffer.Length)
    } elseif ([DateTime]::UtcNow -ge $deadline) {
        $timedOut = $true
        break
    }
}
if (-not $timedOut) {
    # Its output is closed: it ends now, or it is stuck.
    $left = [int][Math]::Max(0, ($deadline - [DateTime]::UtcNow).TotalMilliseconds)
    $timedOut = -not $process.WaitForExit($left)
}
if ($timedOut) {
    # The installer or the uninstall it started goes too: taskkill follows the children.
    try { & "$env:SystemRoot\System32\taskkill.exe" /PID $process.Id /T /F 2>&1 | Out-Null } catch { }
    try { if (-not $process.HasExited) { $process.Kill() } } catch { }
    $process.WaitForExit(10000) | Out-Null
    while ($read.Wait(2000) -and $read.Result -gt 0) {
        Write-Chunk $read.Result
        $read = $output.ReadAsync($buffer, 0, $buffer.Length)
    }
    $why = "CheckInstaller.exe did not end within $TimeoutSeconds s: stopped, with what it had started (exit code 3)"
    $line = [System.Text.Encoding]::UTF8.GetBytes("check-installer.ps1: $why`n")
    $file.Write($line, 0, $line.Length)
    $file.Dispose()
    if ($env:GITHUB_ACTIONS -eq 'true') { Write-Host "::error title=check-installer.ps1::$why" }
    [Console]::Error.WriteLine("check-installer.ps1: $why")
    exit 3
}
$file.Dispose()
$code = $process.ExitCode
Write-Host "check-installer.ps1: CheckInstaller.exe ended with exit code $code; reports in $ReportFolder"
# A verdict without its report for machines is no verdict: the job must not pass without it.
if ($code -lt 2 -and -not (Test-Path -LiteralPath $jsonPath -PathType Leaf)) {
    Stop-CannotRun "the check wrote no $jsonPath`: exit code 2, not $code"
}
exit $code
