// textspy.dll: the hook of the text spy (TextSpy.h), run on the watched window's thread.
#include "TextSpy.h"

namespace {

// The record of this process, mapped at the first text set once the test has created it, and
// kept for the life of the process.
textspy::Record* ProcessRecord() {
    static textspy::Record* s_pRecord = nullptr;
    if (s_pRecord) return s_pRecord;
    HANDLE hMapping = ::OpenFileMappingW(FILE_MAP_WRITE, FALSE, textspy::MappingName(::GetCurrentProcessId()).c_str());
    if (!hMapping) return nullptr;
    s_pRecord = static_cast<textspy::Record*>(::MapViewOfFile(hMapping, FILE_MAP_WRITE, 0, 0, sizeof(textspy::Record)));
    ::CloseHandle(hMapping);
    return s_pRecord;
}

}  // namespace

// The text goes into its slot before the count grows, so a reader never sees a slot unfilled.
extern "C" __declspec(dllexport) LRESULT CALLBACK TextSpyProc(int nCode, WPARAM wParam, LPARAM lParam) {
    const auto* pMessage = reinterpret_cast<const CWPSTRUCT*>(lParam);
    textspy::Record* pRecord = nCode == HC_ACTION && pMessage->message == WM_SETTEXT ? ProcessRecord() : nullptr;
    if (pRecord && pMessage->hwnd == pRecord->hWnd) {
        const auto* pszText = reinterpret_cast<const wchar_t*>(pMessage->lParam);
        if (pRecord->cTexts < textspy::kMaxTexts)
            ::lstrcpynW(pRecord->szTexts[pRecord->cTexts], pszText ? pszText : L"", textspy::kMaxChars);
        ::InterlockedIncrement(&pRecord->cTexts);
    }
    return ::CallNextHookEx(nullptr, nCode, wParam, lParam);
}
