// The machine's environment variables, as Windows expands them in a value or command line.
#pragma once
#include <string>

// The text with each %NAME% of a variable set here replaced by its value; the text itself when
// it cannot be expanded.
std::wstring ExpandedText(const std::wstring &text);

// The path as a listing names it: each 8.3 short name (C:\Users\RUNNER~1\...) made long, as far
// as the path is there; what follows a part that is gone stays as given.
std::wstring LongPathOf(const std::wstring &path);
