// The machine's environment variables, as Windows expands them in a value or command line.
#pragma once
#include <string>

// The text with each %NAME% of a variable set here replaced by its value; the text itself when
// it cannot be expanded.
std::wstring ExpandedText(const std::wstring &text);
