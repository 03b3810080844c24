// The labels of the report: the page that holds the section each finding names.
#pragma once
#include <string>

// The page that holds a section findings name ("docs/vendor-guide.md").
std::wstring PageOfSection(const std::wstring &section);
