#include "ExpectedText.h"

#include <dshow.h>

#include <cwchar>

#include "TestSupport.h"

namespace ui {
namespace {

const wchar_t kCaption[] = L"Lathmere Test";
const DWORD kFormatFlags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;  // 0x1200
const DWORD kUserDefaultLanguage = MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT);       // 0x400

// Line breaks and other control characters made visible in failure messages.
std::string Visible(const std::wstring& text) {
    std::wstring shown;
    for (wchar_t ch : text) {
        if (ch == L'\n')
            shown += L"\\n";
        else if (ch == L'\r')
            shown += L"\\r";
        else
            shown += ch;
    }
    return test::Narrow(shown);
}

}  // namespace

std::wstring PlatformExplanation(HRESULT hr) {
    wchar_t sz[1024] = {};
    if (HRESULT_FACILITY(hr) == FACILITY_ITF && ::AMGetErrorTextW(hr, sz, 1023) != 0) return sz;
    sz[0] = 0;
    if (::FormatMessageW(kFormatFlags, nullptr, static_cast<DWORD>(hr), kUserDefaultLanguage, sz, 1023, nullptr) == 0)
        return L"";
    return sz;
}

std::wstring ErrorText(const std::wstring& message, HRESULT hr) {
    std::wstring text = message;
    if (hr == 0) return text;
    const std::wstring explanation = PlatformExplanation(hr);
    if (!explanation.empty()) {
        if (!text.empty()) text += L'\n';
        text += explanation;
    }
    wchar_t szCode[32];
    swprintf(szCode, ARRAYSIZE(szCode), L"%lsError 0x%lX", text.empty() ? L"" : L"\n", static_cast<unsigned long>(hr));
    return text + szCode;
}

BoxContent ErrorBox(const std::wstring& message, HRESULT hr) {
    BoxContent box;
    box.caption = kCaption;
    box.text = ErrorText(message, hr);
    box.bIcon = hr != 0;
    return box;
}

std::wstring WrittenText(LONGLONG llBytes) {
    wchar_t sz[64];
    swprintf(sz, ARRAYSIZE(sz), L"%u.%03u MBytes", static_cast<unsigned>(llBytes / 1000000),
             static_cast<unsigned>(llBytes % 1000000 / 1000));
    return sz;
}

bool operator==(const BoxContent& a, const BoxContent& b) {
    return a.caption == b.caption && a.text == b.text && a.bIcon == b.bIcon;
}

void PrintTo(const BoxContent& box, std::ostream* pStream) {
    *pStream << "{caption \"" << Visible(box.caption) << "\", text \"" << Visible(box.text) << "\", "
             << (box.bIcon ? "icon" : "no icon") << "}";
}

}  // namespace ui
