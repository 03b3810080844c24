#include "Text.h"

#include <stdarg.h>

int FormatText(wchar_t *buffer, size_t size, const wchar_t *format, ...)
{
    if (size == 0)
        return -1;
    va_list arguments;
    va_start(arguments, format);
    size_t written = 0;
    bool failed = false;
    for (const wchar_t *at = format; *at != L'\0' && !failed; ++at) {
        const wchar_t *piece = at;
        size_t length = 1;
        if (*at == L'%') {
            ++at;
            if (*at == L's') {
                piece = va_arg(arguments, const wchar_t *);
                if (piece == NULL)
                    piece = L"(null)";
                length = 0;
                while (piece[length] != L'\0')
                    ++length;
            } else if (*at != L'%') {
                failed = true;
                break;
            }
        }
        if (size - written <= length) {
            failed = true;
            break;
        }
        for (size_t i = 0; i < length; ++i)
            buffer[written++] = piece[i];
    }
    va_end(arguments);
    if (failed) {
        buffer[0] = L'\0';
        return -1;
    }
    buffer[written] = L'\0';
    return (int)written;
}

bool CopyText(wchar_t *buffer, size_t size, const wchar_t *source)
{
    return FormatText(buffer, size, L"%s", source) >= 0;
}

wchar_t *NextToken(wchar_t *text, wchar_t delimiter, wchar_t **rest)
{
    while (*text == delimiter)
        ++text;
    if (*text == L'\0') {
        *rest = text;
        return NULL;
    }
    wchar_t *end = text;
    while (*end != L'\0' && *end != delimiter)
        ++end;
    if (*end == delimiter)
        *end++ = L'\0';
    *rest = end;
    return text;
}

static wchar_t AsciiUpper(wchar_t c)
{
    return (c >= L'a' && c <= L'z') ? (wchar_t)(c - L'a' + L'A') : c;
}

bool EqualIgnoringAsciiCase(const wchar_t *left, const wchar_t *right)
{
    for (; AsciiUpper(*left) == AsciiUpper(*right); ++left, ++right)
        if (*left == L'\0')
            return true;
    return false;
}
