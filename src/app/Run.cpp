#include "Run.h"

#include "../guards/Restart.h"
#include "../guards/RunningCheck.h"
#include "../platform/Platform.h"
#include "../stages/Files.h"
#include "../stages/Firewall.h"
#include "../stages/Registry.h"
#include "../target/Target.h"
#include "../target/Text.h"

const wchar_t Caption[] = L"Kestrane";

const wchar_t MsgComFailed[] = L"Erreur Système.";
const wchar_t MsgBadArguments[] = L"Erreur.\nArguments.";
const wchar_t MsgAppRunning[] = L"%s est en cour d'exécution.\nFermez le programme et recommencez.";
const wchar_t MsgConfirm[] = L"Désinstaller  %s ?";
const wchar_t MsgSystemFolders[] = L"Erreur.\nSystème.";
const wchar_t MsgFirewall[] = L"Erreur.\nPare-Feu.";
const wchar_t MsgRegistry[] = L"Erreur.\nRegistre.";
const wchar_t MsgShortcuts[] = L"Erreur.\nRaccourcis.";
const wchar_t MsgFiles[] = L"Erreur.\nFichiers.";
const wchar_t MsgRestartQuestion[] =
    L"Le système doit redémarrer pour terminer la désinstallation.\nRedémarrer maintenant ?";
const wchar_t MsgRestartFailed[] = L"Erreur.\nRedémarrage.";
const wchar_t MsgDone[] = L"Désinstallation terminée avec succès.";

enum { ExitComFailed = -1, ExitDone = 0, ExitReported = 1, ExitAppRunning = 2 };

void FinishWithMessage(const wchar_t *text, UINT style)
{
    OsMessageBox(NULL, text, Caption, style);
    OsCoUninitialize();
}

static int Report(const wchar_t *text)
{
    FinishWithMessage(text, MB_OK | MB_ICONERROR);
    return ExitReported;
}

// Both messages that carry the name are composed with the parsing, so a name
// too long for them is refused before anything is looked at.
ArgumentsResult AcceptArgumentText(const wchar_t *argumentText, wchar_t *runningText, wchar_t *confirmText)
{
    ArgumentsResult parsed = ParseArguments(argumentText);
    if (parsed != ArgumentsOk)
        return parsed;
    if (FormatText(runningText, RunningTextSize, MsgAppRunning, Target.AppName) < 0
        || FormatText(confirmText, MAX_PATH, MsgConfirm, Target.AppName) < 0)
        return ArgumentsNameTooLong;
    return ArgumentsOk;
}

int RunUninstall(const wchar_t *argumentText)
{
    if (OsCoInitializeEx(COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE) != S_OK) {
        OsMessageBox(NULL, MsgComFailed, Caption, MB_OK | MB_ICONERROR);
        return ExitComFailed;
    }
    RestartNeeded = 0;
    ZeroMemory(&Target, sizeof Target);

    wchar_t runningText[RunningTextSize] = {0};
    wchar_t confirmText[MAX_PATH] = {0};
    if (AcceptArgumentText(argumentText, runningText, confirmText) != ArgumentsOk)
        return Report(MsgBadArguments);

    if (IsAppRunning()) {
        FinishWithMessage(runningText, MB_ICONWARNING);
        return ExitAppRunning;
    }

    if (OsMessageBox(NULL, confirmText, Caption, MB_OKCANCEL | MB_ICONINFORMATION) == IDCANCEL)
        return ExitDone;

    switch (ResolveTargetPaths()) {
    case ResolveOk: break;
    case ResolveTooLong: return Report(MsgBadArguments);
    case ResolveFolderFailed: return Report(MsgSystemFolders);
    }

    if (!RemoveFirewallRule())
        return Report(MsgFirewall);
    if (!RemoveRegistryKeys())
        return Report(MsgRegistry);
    if (!RemoveShortcuts())
        return Report(MsgShortcuts);
    if (!RemoveProgramFiles())
        return Report(MsgFiles);

    // Only a seen and accepted question restarts the machine: a box that could not
    // be shown (0 on Windows, -1 under Wine) is no consent.
    if (RestartNeeded == 1
        && OsMessageBox(NULL, MsgRestartQuestion, Caption, MB_OKCANCEL | MB_ICONINFORMATION) == IDOK
        && !RestartSystem())
        return Report(MsgRestartFailed);

    FinishWithMessage(MsgDone, MB_OK | MB_ICONINFORMATION);
    return ExitDone;
}
