// What the program should show, composed in the test process from the platform's own texts
// (never from copies of Windows' messages, which differ between systems and languages).
#pragma once

#include <windows.h>

#include <ostream>
#include <string>

#include "WindowProbe.h"

namespace ui {

// DirectShow's text for codes of the interface facility, else the system's (flags 0x1200,
// language 0x400); empty when neither has one.
std::wstring PlatformExplanation(HRESULT hr);

// The error box text for a message and a code: the message; the explanation on the next line;
// "Error 0x<code>" in upper-case hex on a line of its own (no line break before it when
// nothing precedes it). Code 0 gives the message alone. For messages well inside the box's
// 1023 characters.
std::wstring ErrorText(const std::wstring& message, HRESULT hr);

// The whole box the dialog shows for ShowError(message, hr): caption "Lathmere Test", the text
// above, the error icon unless the code is 0.
BoxContent ErrorBox(const std::wstring& message, HRESULT hr);

// The "Written" read-out for a byte count: "%u.%03u MBytes", megabytes of 1,000,000 bytes.
std::wstring WrittenText(LONGLONG llBytes);

bool operator==(const BoxContent& a, const BoxContent& b);
void PrintTo(const BoxContent& box, std::ostream* pStream);

}  // namespace ui
