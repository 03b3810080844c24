// Bounded wide-text helpers: every fixed buffer of the program is filled here.
#pragma once

#include <stddef.h>

// Formats into buffer (size code units, terminator included). "%s" takes a
// wide text and "%%" a percent sign; the program's formats use nothing else.
// Returns the count written without the terminator, or -1 when the text does
// not fit or the format holds another conversion; the buffer is then empty.
int FormatText(wchar_t *buffer, size_t size, const wchar_t *format, ...);

// Copies source with its terminator; false, and an empty buffer, when it does not fit.
bool CopyText(wchar_t *buffer, size_t size, const wchar_t *source);

// Splits text in place: skips leading delimiters, ends the token at the next
// delimiter (overwritten by a terminator) and points *rest past it.
// Returns NULL when no token is left. Never yields an empty token.
wchar_t *NextToken(wchar_t *text, wchar_t delimiter, wchar_t **rest);

// Equality ignoring the case of the letters A to Z only.
bool EqualIgnoringAsciiCase(const wchar_t *left, const wchar_t *right);
