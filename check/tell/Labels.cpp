#include "tell/Labels.h"

// The page that holds each section a finding names, so that a reader goes straight to the answer.
// The docs test reads this table and holds each row against the headings of its page.
static const struct {
    const wchar_t *Section;
    const wchar_t *Page;
} SectionPages[] = {
    {L"Check your installer", L"README.md"},
    {L"The layout", L"docs/vendor-guide.md"},
    {L"The uninstall entry", L"docs/vendor-guide.md"},
    {L"The argument text", L"docs/vendor-guide.md"},
    {L"Exit codes", L"docs/vendor-guide.md"},
    {L"What Kestrane never touches", L"docs/vendor-guide.md"},
    {L"A reinstall before the restart", L"docs/vendor-guide.md"},
    {L"32-bit installers", L"docs/vendor-guide.md"},
    {L"A product the installer chained", L"docs/vendor-guide.md"},
    {L"What the user sees", L"README.md"},
};

std::wstring PageOfSection(const std::wstring &section)
{
    for (size_t i = 0; i < sizeof SectionPages / sizeof SectionPages[0]; i++)
        if (section == SectionPages[i].Section)
            return SectionPages[i].Page;
    return L"docs/vendor-guide.md";
}
