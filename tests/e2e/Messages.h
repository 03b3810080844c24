// What Kestrane's boxes say, as the test tools expect to read them. Written out here
// rather than taken from the program, so that a changed text is caught.
#pragma once

#include <string>

extern const wchar_t BoxCaption[];
extern const wchar_t MsgComFailed[];
extern const wchar_t MsgBadArguments[];
extern const wchar_t MsgSystemFolders[];
extern const wchar_t MsgFirewall[];
extern const wchar_t MsgRegistry[];
extern const wchar_t MsgShortcuts[];
extern const wchar_t MsgFiles[];
extern const wchar_t MsgRestartQuestion[];
extern const wchar_t MsgRestartFailed[];
extern const wchar_t MsgDone[];

std::wstring Confirm(const std::wstring &app);
std::wstring Running(const std::wstring &app);
// The confirmation and the restart question have OK and Cancel; every other box OK alone.
bool OffersCancel(const std::wstring &text);
