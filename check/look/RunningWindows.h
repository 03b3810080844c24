// The top-level windows Kestrane takes for the application running, and the check's own console.
#pragma once

#include <string>
#include <vector>

// The check's console title: started from cmd.exe it would be the command line, which names the
// installer, and so often the application, in a top-level window.
const wchar_t *OwnConsoleTitle(const std::wstring &appName);

// The titles of the top-level windows in which Kestrane's running check finds appName, once the
// check's own console is titled so that it never holds appName.
std::vector<std::wstring> WindowsNamingApp(const std::wstring &appName);
