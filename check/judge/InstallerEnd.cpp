#include "judge/InstallerEnd.h"

#include "data/PathText.h"
#include "look/Environment.h"
#include "look/Skipped.h"

std::vector<DWORD> ProcessesToLookAt(bool jobListed, const std::vector<DWORD> &jobIds, DWORD firstProcess)
{
    return jobListed ? jobIds : std::vector<DWORD>(1, firstProcess);
}

bool IsApplicationProgram(const std::wstring &image, const std::wstring &setup, bool existedBefore,
                          bool installersOwn)
{
    return !image.empty() && !existedBefore && !installersOwn && !SameText(image, setup);
}

bool InstallersOwnProgram(const std::wstring &given, bool copyOfSetup, const MachineReader &machine)
{
    std::wstring image = given.empty() ? given : machine.LongPath(given);
    bool windowsInstaller = IsInside(image, ExpandedText(L"%SystemRoot%\\Installer"));
    bool skipped = false;
    for (std::wstring path = image; !path.empty() && !skipped; path = ParentOf(path))
        skipped = IsSkippedPlace(path);
    return copyOfSetup || windowsInstaller || skipped;
}

void AddStartedByApplication(const std::vector<DWORD> &ids, const std::vector<DWORD> &parents,
                             std::vector<bool> *application)
{
    for (bool more = true; more;) {
        more = false;
        for (size_t i = 0; i < ids.size(); i++)
            for (size_t p = 0; p < ids.size() && !(*application)[i]; p++)
                if (p != i && (*application)[p] && ids[p] == parents[i])
                    more = (*application)[i] = true;
    }
}

bool InstallerEnded(bool setupEnded, const std::vector<bool> &application)
{
    for (size_t i = 0; i < application.size(); i++)
        if (!application[i])
            return false;
    return setupEnded;
}

void JudgeInstallerEnd(bool timedOut, DWORD exitCode, DWORD limitSeconds, const std::wstring &arguments, Said *said)
{
    if (timedOut)
        Find(said, VerdictProblem, L"the installer did not end within " + Number(limitSeconds) + L" s (--limit): "
             L"does it install without asking anything with" + arguments + L"?", SectionCheckInstaller);
    else if (exitCode != 0)
        Find(said, VerdictProblem, L"the installer ended with exit code " + Number(exitCode), SectionCheckInstaller);
}

std::vector<std::wstring> ProgramsAdded(const std::vector<Change> &changes)
{
    std::vector<std::wstring> programs;
    for (size_t i = 0; i < changes.size(); i++)
        if (changes[i].Kind == ChangeAdded && changes[i].After.Kind == EntryFile && EndsWith(changes[i].After.Path, L".exe"))
            programs.push_back(changes[i].After.Path);
    return programs;
}
