#include "StateFile.h"

#include <windows.h>

#include <wchar.h>

namespace ge {
namespace {

std::wstring g_path;

std::string Utf8(const std::wstring& text) {
    const int cb = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string result(cb, '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), result.data(), cb, nullptr,
                          nullptr);
    return result;
}

}  // namespace

void SetStateFile(const std::wstring& path) { g_path = path; }

void AppendState(const std::wstring& line) {
    if (g_path.empty()) return;
    // Shared for reading and writing: the test reads the file while this process appends to it.
    HANDLE hFile = ::CreateFileW(g_path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE) return;
    const std::string text = Utf8(line + L"\n");
    DWORD cbWritten = 0;
    ::WriteFile(hFile, text.data(), static_cast<DWORD>(text.size()), &cbWritten, nullptr);
    ::CloseHandle(hFile);
}

LONGLONG StampNow() {
    LARGE_INTEGER li = {};
    ::QueryPerformanceCounter(&li);
    return li.QuadPart;
}

void AppendStampFrequency() {
    LARGE_INTEGER li = {};
    ::QueryPerformanceFrequency(&li);
    AppendState(L"stamp-frequency " + std::to_wstring(li.QuadPart));
}

void AppendStamp(const wchar_t* pszStage) { AppendStamp(pszStage, StampNow()); }

void AppendStamp(const wchar_t* pszStage, LONGLONG llCounter) {
    AppendState(std::wstring(L"stamp ") + pszStage + L" " + std::to_wstring(llCounter));
}

std::wstring Hex(HRESULT hr) {
    wchar_t sz[16];
    _snwprintf(sz, 16, L"0x%08X", static_cast<unsigned>(hr));
    return sz;
}

std::wstring Hex8(DWORD dw) {
    wchar_t sz[16];
    _snwprintf(sz, 16, L"%08x", static_cast<unsigned>(dw));
    return sz;
}

std::wstring Param(ULONG_PTR value) {
    wchar_t sz[24];
    _snwprintf(sz, 24, L"0x%08llX", static_cast<unsigned long long>(value));
    return sz;
}

}  // namespace ge
