// The state file: one line of UTF-8 text per thing the stand-in did ("ready", "dialog-open",
// "connected pid=..."), so that tests in another process can check what it showed. Each line
// is appended and the file closed again at once, so a reader sees it immediately.
//
// Stamps say when each stage happened, for measurements across processes: "stamp <stage>
// <counter>", the raw QueryPerformanceCounter value (system-wide, so comparable with another
// process's), and once, first of all, "stamp-frequency <counts per second>". Stages: start
// (wWinMain entered), ready (its message loop about to start), command (0x8034 received),
// listed (the connection dialog's list filled), getcount (the list's item count asked), ok
// (the dialog confirmed), bind (binding to the chosen graph starts), read (the graph read),
// quit (its message loop ended), released (the graph let go), exit (wWinMain about to return).
#pragma once

#include <windows.h>

#include <string>

namespace ge {

// Sets the file (empty: no state is written). Called once at start-up, before any Append.
void SetStateFile(const std::wstring& path);
// Appends one line (a line feed is added).
void AppendState(const std::wstring& line);

// The performance counter now; taken at the very start, before the state file is known.
LONGLONG StampNow();
// "stamp-frequency <n>".
void AppendStampFrequency();
// "stamp <stage> <counter>", with the counter taken now or given.
void AppendStamp(const wchar_t* pszStage);
void AppendStamp(const wchar_t* pszStage, LONGLONG llCounter);

// How values are written in the state file: "0x8007000E" for a result, "0000a1b2" for a process
// id or a graph's low 32 bits, "0x00018034" for a message parameter as received (at least eight
// digits, all 64 bits when set).
std::wstring Hex(HRESULT hr);
std::wstring Hex8(DWORD dw);
std::wstring Param(ULONG_PTR value);

}  // namespace ge
