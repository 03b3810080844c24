#include "judge/ArgumentText.h"

#include "judge/CommandLine.h"
#include "app/Run.h"
#include "target/Target.h"

// A message as the README quotes it: a line feed as "\n".
std::wstring Quoted(const wchar_t *message)
{
    std::wstring text = L"\"";
    for (const wchar_t *at = message; *at != L'\0'; ++at)
        text += *at == L'\n' ? std::wstring(L"\\n") : std::wstring(1, *at);
    return text + L"\"";
}

static std::wstring Character(wchar_t c)
{
    if (c >= L' ')
        return L"`" + std::wstring(1, c) + L"`";
    wchar_t code[16];
    _snwprintf(code, 16, L"U+%04X", (unsigned)c);
    return code;
}

// The longest application name Kestrane's own parsing and messages accept.
static size_t LongestAcceptedName()
{
    size_t low = 1, high = MAX_PATH;
    while (low + 1 < high) {
        size_t middle = (low + high) / 2;
        std::wstring text = std::wstring(middle, L'n') + L"/NULL";
        wchar_t running[RunningTextSize], confirm[MAX_PATH];
        (AcceptArgumentText(text.c_str(), running, confirm) == ArgumentsOk ? low : high) = middle;
    }
    return low;
}

// Why Kestrane refuses the argument text, in a vendor's words; empty when it accepts it.
static std::wstring RefusalOf(const std::wstring &argumentText)
{
    wchar_t running[RunningTextSize] = {0}, confirm[MAX_PATH] = {0};
    ZeroMemory(&Target, sizeof Target);
    switch (AcceptArgumentText(argumentText.c_str(), running, confirm)) {
    case ArgumentsOk:
        return L"";
    case ArgumentsTooLong:
        return L"it is " + Number(argumentText.size()) + L" characters long, " + Number(MAX_PATH - 1) + L" at most";
    case ArgumentsIncomplete:
        return L"it is not an application name, `/`, then a firewall rule name or `NULL`";
    case ArgumentsNotAFolderName:
        return L"the application name `" + std::wstring(Target.AppName) + L"` holds "
            + Character(*FindCharacterNoFolderNameHolds(Target.AppName)) + L", which no folder name can hold";
    case ArgumentsOnlyDotsAndBlanks:
        return L"the application name `" + std::wstring(Target.AppName) + L"` is made only of dots and blanks";
    case ArgumentsNameTooLong:
        break;
    }
    return L"the application name is " + Number(wcslen(Target.AppName)) + L" characters long, "
        + Number(LongestAcceptedName()) + L" at most";
}

void CheckUninstallString(const Inspection &in, const std::wstring &expectedExe, bool folderExplained,
                          const MachineReader &machine, bool *consequenceOnly, Said *said)
{
    const std::wstring &command = in.UninstallString;
    *consequenceOnly = false;
    if (command.empty() || command[0] != L'"' || command.find(L'"', 1) == std::wstring::npos) {
        std::vector<std::wstring> tried;
        std::wstring started = machine.StartedBy(command, &tried);
        if (tried.size() < 2) {
            Find(said, VerdictProblem, L"UninstallString does not start with the quoted path of Kestrane.exe", SectionEntry);
            return;
        }
        // Windows reads an unquoted path up to each blank in turn; the runtime then
        // takes everything after the first blank for Kestrane's argument text.
        std::wstring argumentText = ArgumentTextOf(command);
        Find(said, VerdictProblem, L"UninstallString holds the path of Kestrane.exe without quotes, and the path holds "
                L"blanks: Windows tries `" + tried[0] + L"` first, and Kestrane gets the argument text `"
                + argumentText + L"`: put the path in double quotes", SectionEntry);
        if (started.empty())
            Also(said, L"Windows finds no program at any of the paths it tries: the uninstall starts nothing");
        if (in.Wine)
            Also(said, L"Wine quotes such a path itself when it starts a program, so the uninstall here gets past "
                        L"this and cannot show the failure that Windows gives");
        std::wstring refusal = RefusalOf(argumentText);
        if (!refusal.empty())
            Also(said, L"on Windows, Kestrane refuses `" + argumentText + L"` with " + Quoted(MsgBadArguments)
                        + L": " + refusal);
        *consequenceOnly = true;
        return;
    }
    std::wstring exe = command.substr(1, command.find(L'"', 1) - 1);
    std::wstring after = command.substr(exe.size() + 2);
    if (!SameText(exe, expectedExe)) {
        std::wstring text = L"UninstallString starts " + exe + L", not " + expectedExe;
        if (folderExplained)
            Also(said, text);
        else
            Find(said, VerdictProblem, text + L": Kestrane must run from the application folder under the 64-bit "
                    L"Program Files", SectionLayout);
    } else if (after.size() < 2 || after[0] != L' ' || after[1] <= L' ') {
        Find(said, VerdictProblem, L"UninstallString does not hold exactly one blank between the quoted path and the "
                L"argument text", SectionEntry);
    } else {
        Find(said, VerdictOk, L"UninstallString starts the quoted path " + expectedExe + L", then one blank", SectionEntry);
    }
}

void CheckArgumentText(Inspection *in, bool consequenceOnly, Said *said)
{
    std::wstring argumentText = ArgumentTextOf(in->UninstallString);
    std::wstring refusal = RefusalOf(argumentText);
    std::wstring quoted = L"the argument text `" + argumentText + L"`";
    if (!refusal.empty()) {
        if (!consequenceOnly)
            Find(said, VerdictProblem, quoted + L": " + refusal + L": Kestrane refuses it with "
                    + Quoted(MsgBadArguments), SectionArguments);
        return;
    }
    std::wstring appName = Target.AppName, ruleName = Target.FirewallRuleName;
    if (ResolveTargetPaths() == ResolveTooLong) {
        Find(said, VerdictProblem, quoted + L": the application name is too long for the paths Kestrane composes "
                L"once it knows the folders (" + Number(MAX_PATH - 1) + L" characters at most): Kestrane refuses it with "
                + Quoted(MsgBadArguments) + L" after the confirmation", SectionArguments);
    } else if (!SameText(appName, in->AppName)) {
        Find(said, VerdictProblem, quoted + L" names the application `" + appName + L"`, not `" + in->AppName
                + L"`: Kestrane would look for another folder, other shortcuts and keys, and leave this entry",
                SectionArguments);
    } else {
        in->RuleName = ruleName;
        Find(said, VerdictOk, quoted + L" is accepted: the application `" + appName + L"`, "
                + (ruleName.empty() ? std::wstring(L"no firewall rule") : L"the firewall rule `" + ruleName + L"`"),
                SectionArguments);
    }
}
