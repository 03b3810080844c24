#include "tell/State.h"

#include "BoxDriver.h"
#include "tell/Report.h"

#include <windows.h>

#include <stdlib.h>

static const char Header[] = "CheckInstaller state 5";

// Tabs and line ends may stand in names: escaped, so each record is one line.
static std::string EscapedBytes(const std::string &bytes)
{
    std::string escaped;
    for (size_t i = 0; i < bytes.size(); i++) {
        switch (bytes[i]) {
        case '\\': escaped += "\\\\"; break;
        case '\t': escaped += "\\t"; break;
        case '\n': escaped += "\\n"; break;
        case '\r': escaped += "\\r"; break;
        case '\0': escaped += "\\0"; break;
        default: escaped += bytes[i];
        }
    }
    return escaped;
}

static std::string Escaped(const std::wstring &text) { return EscapedBytes(Utf8(text)); }

static std::string UnescapedBytes(const std::string &text)
{
    std::string bytes;
    for (size_t i = 0; i < text.size(); i++) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            bytes += text[i];
            continue;
        }
        char c = text[++i];
        bytes += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c == '0' ? '\0' : c;
    }
    return bytes;
}

static std::wstring Unescaped(const std::string &text) { return WideOf(UnescapedBytes(text)); }

static std::string Hex(const std::string &data)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (size_t i = 0; i < data.size(); i++) {
        hex += digits[(unsigned char)data[i] >> 4];
        hex += digits[(unsigned char)data[i] & 15];
    }
    return hex.empty() ? "-" : hex;
}

static std::string FromHex(const std::string &hex)
{
    std::string data;
    for (size_t i = 0; hex != "-" && i + 1 < hex.size(); i += 2)
        data += (char)strtoul(hex.substr(i, 2).c_str(), NULL, 16);
    return data;
}

static std::string EntryFields(const Entry &entry)
{
    return std::to_string(entry.Kind) + "\t" + Escaped(entry.Path) + "\t" + Escaped(entry.Name) + "\t"
        + std::to_string(entry.Type) + "\t" + Hex(entry.Data) + "\t" + std::to_string(entry.Size) + "\t"
        + std::to_string(entry.WriteTime) + "\t" + std::to_string(entry.Attributes) + "\t" + (entry.Hashed ? "1" : "0");
}

static std::string RuleFields(const FirewallRule &rule)
{
    std::string text;
    for (const std::wstring *field : {&rule.Name, &rule.Application, &rule.Program, &rule.Service, &rule.LocalPorts,
                                      &rule.RemotePorts, &rule.Grouping})
        text += Escaped(*field) + "\t";
    return text + std::to_string(rule.Protocol) + "\t" + std::to_string(rule.Direction) + "\t"
        + std::to_string(rule.Action) + "\t" + std::to_string(rule.Profiles) + "\t" + (rule.Enabled ? "1" : "0");
}

static FirewallRule RuleOf(const std::vector<std::string> &fields)
{
    FirewallRule rule;
    std::wstring *texts[] = {&rule.Name, &rule.Application, &rule.Program, &rule.Service, &rule.LocalPorts,
                             &rule.RemotePorts, &rule.Grouping};
    for (size_t i = 0; i < 7; i++)
        *texts[i] = Unescaped(fields[1 + i]);
    rule.Protocol = atol(fields[8].c_str());
    rule.Direction = atol(fields[9].c_str());
    rule.Action = atol(fields[10].c_str());
    rule.Profiles = atol(fields[11].c_str());
    rule.Enabled = fields[12] == "1";
    return rule;
}

// The firewall's lines: whether it was read, the entry's rule, and each rule the install added.
static bool ReadFirewallFields(const std::vector<std::string> &fields, CheckState *state)
{
    if (fields[0] == "firewall" && fields.size() == 3) {
        state->Firewall.Read = fields[1] == "1";
        state->RuleName = Unescaped(fields[2]);
    } else if (fields[0] == "rule" && fields.size() == 13) {
        state->Firewall.Added.push_back(RuleOf(fields));
    } else {
        return false;
    }
    return true;
}

bool SaveState(const std::wstring &path, const CheckState &state)
{
    std::string text = std::string(Header) + "\napp\t" + Escaped(state.AppName) + "\nproblems\t"
        + std::to_string(state.Problems) + "\n";
    text += "kind\t" + std::to_string(state.Kind) + "\n";
    if (!state.Report.empty())
        text += "report\t" + EscapedBytes(state.Report) + "\n";
    for (size_t i = 0; i < state.Changes.size(); i++) {
        const Change &change = state.Changes[i];
        text += "change\t" + std::to_string(change.Kind) + "\t" + EntryFields(change.Before) + "\t"
            + EntryFields(change.After) + "\n";
    }
    if (!state.AfterUninstall.empty()) {
        text += "afterUninstall\t";
        for (size_t i = 0; i < state.AfterUninstall.size(); i++)
            text += (char)('0' + state.AfterUninstall[i]);
        text += "\n";
    }
    if (state.Reinstalled) {
        const ReinstallRecord &again = state.Reinstall;
        std::string held;
        for (size_t i = 0; i < again.Held.size(); i++)
            held += (i ? "," : "") + std::to_string(again.Held[i]);
        text += "reinstall\t" + std::to_string(again.Started) + "\t" + std::to_string(again.TimedOut) + "\t"
            + std::to_string(again.ExitCode) + "\t" + std::to_string(again.Ms) + "\t" + (held.empty() ? "-" : held);
        for (size_t i = 0; i < again.Taken.size(); i++)
            text += "\t" + Escaped(again.Taken[i]);
        text += "\n";
    }
    text += "firewall\t" + std::string(state.Firewall.Read ? "1" : "0") + "\t" + Escaped(state.RuleName) + "\n";
    for (const FirewallRule &rule : state.Firewall.Added)
        text += "rule\t" + RuleFields(rule) + "\n";
    // The count closes the file: one cut at a line end is not taken for whole.
    text += "end\t" + std::to_string(state.Changes.size()) + "\n";
    return WriteTextFile(path, text);
}

static std::vector<std::string> Fields(const std::string &line)
{
    std::vector<std::string> fields;
    for (size_t at = 0;;) {
        size_t tab = line.find('\t', at);
        fields.push_back(line.substr(at, tab == std::string::npos ? std::string::npos : tab - at));
        if (tab == std::string::npos)
            return fields;
        at = tab + 1;
    }
}

static Entry EntryOf(const std::vector<std::string> &fields, size_t at)
{
    Entry entry;
    entry.Kind = (EntryKind)atoi(fields[at].c_str());
    entry.Path = Unescaped(fields[at + 1]);
    entry.Name = Unescaped(fields[at + 2]);
    entry.Type = (DWORD)strtoul(fields[at + 3].c_str(), NULL, 10);
    entry.Data = FromHex(fields[at + 4]);
    entry.Size = strtoull(fields[at + 5].c_str(), NULL, 10);
    entry.WriteTime = strtoull(fields[at + 6].c_str(), NULL, 10);
    entry.Attributes = (DWORD)strtoul(fields[at + 7].c_str(), NULL, 10);
    entry.Hashed = fields[at + 8] == "1";
    return entry;
}

// The reinstall's line: started, timed out, exit code, ms, the places held, then what the restart takes.
static ReinstallRecord ReinstallOf(const std::vector<std::string> &fields)
{
    ReinstallRecord again;
    again.Started = fields[1] == "1";
    again.TimedOut = fields[2] == "1";
    again.ExitCode = (DWORD)strtoul(fields[3].c_str(), NULL, 10);
    again.Ms = strtoull(fields[4].c_str(), NULL, 10);
    for (size_t at = 0; fields[5] != "-" && at < fields[5].size();) {
        size_t comma = fields[5].find(',', at);
        again.Held.push_back(strtoull(fields[5].substr(at, comma - at).c_str(), NULL, 10));
        at = comma == std::string::npos ? fields[5].size() : comma + 1;
    }
    for (size_t i = 6; i < fields.size(); i++)
        again.Taken.push_back(Unescaped(fields[i]));
    return again;
}

static bool ReadWholeFile(const std::wstring &path, std::string *text)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, NULL) && read > 0)
        text->append(buffer, read);
    CloseHandle(file);
    return true;
}

bool LoadState(const std::wstring &path, CheckState *state)
{
    std::string text;
    if (!ReadWholeFile(path, &text))
        return false;

    *state = CheckState();
    bool headerSeen = false;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            return false;  // cut short
        std::vector<std::string> fields = Fields(text.substr(at, end - at));
        at = end + 1;
        if (!headerSeen) {
            if (fields[0] != Header)
                return false;
            headerSeen = true;
        } else if (fields[0] == "app" && fields.size() == 2) {
            state->AppName = Unescaped(fields[1]);
        } else if (fields[0] == "problems" && fields.size() == 2) {
            state->Problems = atoi(fields[1].c_str());
        } else if (fields[0] == "end" && fields.size() == 2) {
            for (size_t i = 0; i < state->Reinstall.Held.size(); i++)
                if (state->Reinstall.Held[i] >= state->Changes.size())
                    return false;
            if (!state->AfterUninstall.empty() && state->AfterUninstall.size() != state->Changes.size())
                return false;
            return at == text.size() && strtoul(fields[1].c_str(), NULL, 10) == state->Changes.size();
        } else if (fields[0] == "reinstall" && fields.size() >= 6) {
            state->Reinstalled = true;
            state->Reinstall = ReinstallOf(fields);
        } else if (fields[0] == "afterUninstall" && fields.size() == 2) {
            for (size_t i = 0; i < fields[1].size(); i++) {
                if (fields[1][i] < '0' || fields[1][i] > '0' + LeftThere)
                    return false;
                state->AfterUninstall.push_back((LeftState)(fields[1][i] - '0'));
            }
        } else if (ReadFirewallFields(fields, state)) {
        } else if (fields[0] == "kind" && fields.size() == 2) {
            state->Kind = (InstallerKind)atoi(fields[1].c_str());
        } else if (fields[0] == "report" && fields.size() == 2) {
            state->Report = UnescapedBytes(fields[1]);
        } else if (fields[0] == "change" && fields.size() == 20) {
            Change change;
            change.Kind = (ChangeKind)atoi(fields[1].c_str());
            change.Before = EntryOf(fields, 2);
            change.After = EntryOf(fields, 11);
            state->Changes.push_back(change);
        } else {
            return false;
        }
    }
    return false;  // no end: cut short
}
