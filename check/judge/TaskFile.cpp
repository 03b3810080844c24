#include "judge/TaskFile.h"

#include "data/PathText.h"
#include "judge/CommandLine.h"
#include "look/Environment.h"

#include <stdlib.h>

// Task files are UTF-16 as Windows writes them, UTF-8 as some installers copy them in.
static std::wstring TextOfTaskFile(const std::string &content)
{
    if (content.size() >= 2 && (unsigned char)content[0] == 0xFF && (unsigned char)content[1] == 0xFE)
        return WideOfUnits(content.data() + 2, (content.size() - 2) / 2);
    if (content.size() >= 3 && content.compare(0, 3, "\xEF\xBB\xBF") == 0)
        return WideOfCodePage(CP_UTF8, content.data() + 3, content.size() - 3);
    if (content.size() >= 2 && content[0] != 0 && content[1] == 0)
        return WideOfUnits(content.data(), content.size() / 2);
    return WideOfCodePage(CP_UTF8, content.data(), content.size());
}

static std::wstring XmlDecoded(const std::wstring &text)
{
    static const struct { const wchar_t *Name; wchar_t Character; } Entities[] = {
        {L"amp", L'&'}, {L"lt", L'<'}, {L"gt", L'>'}, {L"quot", L'"'}, {L"apos", L'\''}};
    std::wstring decoded;
    for (size_t i = 0; i < text.size(); i++) {
        size_t semicolon = text[i] == L'&' ? text.find(L';', i) : std::wstring::npos;
        std::wstring name = semicolon == std::wstring::npos ? L"" : text.substr(i + 1, semicolon - i - 1);
        wchar_t character = 0;
        for (const auto &entity : Entities)
            if (name == entity.Name)
                character = entity.Character;
        if (name.size() > 1 && name[0] == L'#')
            character = (wchar_t)wcstoul(name.c_str() + (name[1] == L'x' ? 2 : 1), NULL, name[1] == L'x' ? 16 : 10);
        decoded += character ? character : text[i];
        if (character)
            i = semicolon;
    }
    return decoded;
}

bool TaskLaunch(const std::string &content, Launch *launch)
{
    std::wstring xml = TextOfTaskFile(content);
    size_t exec = xml.find(L"<Exec");  // <ExecutionTimeLimit> too: it holds no Command
    if (exec == std::wstring::npos)
        return false;
    size_t execEnd = xml.find(L"</Exec>", exec), open = xml.find(L"<Command>", exec);
    size_t close = open == std::wstring::npos ? open : xml.find(L"</Command>", open);
    if (close == std::wstring::npos || (execEnd != std::wstring::npos && close > execEnd))
        return false;
    launch->Program = Unquoted(ExpandedText(XmlDecoded(xml.substr(open + 9, close - open - 9))));
    size_t arguments = xml.find(L"<Arguments>", exec), argumentsEnd = xml.find(L"</Arguments>", exec);
    if (arguments != std::wstring::npos && argumentsEnd != std::wstring::npos && argumentsEnd < execEnd)
        HostedByArguments(XmlDecoded(xml.substr(arguments + 11, argumentsEnd - arguments - 11)), launch);
    launch->When = xml.find(L"<LogonTrigger") != std::wstring::npos ? L"at every logon"
        : xml.find(L"<BootTrigger") != std::wstring::npos         ? L"at boot"
                                                                  : L"when the task's trigger fires";
    return true;
}
