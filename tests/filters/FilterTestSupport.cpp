#include "FilterTestSupport.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace filtertest {

void CheckInterface(IUnknown* pObject, REFIID riid, bool bSupported, int nLine) {
    IUnknown* pUnknown = reinterpret_cast<IUnknown*>(0x1);
    HRESULT hr = pObject->QueryInterface(riid, reinterpret_cast<void**>(&pUnknown));
    wchar_t szIid[40];
    ::StringFromGUID2(riid, szIid, 40);
    SCOPED_TRACE(testing::Message() << "interface " << test::Narrow(szIid) << ", checked at line " << nLine);
    if (bSupported) {
        EXPECT_HR(S_OK, hr);
        EXPECT_NE(nullptr, pUnknown);
    } else {
        EXPECT_HR(E_NOINTERFACE, hr);
        EXPECT_EQ(nullptr, pUnknown);  // the out-pointer is nulled on refusal
    }
    if (SUCCEEDED(hr) && pUnknown) pUnknown->Release();
}

HRESULT LoadConfig(IUnknown* pObject, const std::string& text) {
    fw::ComQIPtr<IPersistStream> spPersist(pObject);
    if (!spPersist) return E_NOINTERFACE;
    fw::ComPtr<IStream> spStream;
    HRESULT hr = ::CreateStreamOnHGlobal(nullptr, TRUE, &spStream);
    if (FAILED(hr)) return hr;
    ULONG cbWritten = 0;
    spStream->Write(text.data(), static_cast<ULONG>(text.size()), &cbWritten);
    LARGE_INTEGER zero{};
    spStream->Seek(zero, STREAM_SEEK_SET, nullptr);
    return spPersist->Load(spStream);
}

std::string SaveConfig(IUnknown* pObject) {
    fw::ComQIPtr<IPersistStream> spPersist(pObject);
    fw::ComPtr<IStream> spStream;
    if (!spPersist || FAILED(::CreateStreamOnHGlobal(nullptr, TRUE, &spStream))) return "<no stream>";
    HRESULT hr = spPersist->Save(spStream, TRUE);
    if (FAILED(hr)) return "<Save failed " + test::Narrow(test::HrText(hr)) + ">";
    STATSTG stat{};
    spStream->Stat(&stat, STATFLAG_NONAME);
    std::string text(static_cast<size_t>(stat.cbSize.QuadPart), '\0');
    LARGE_INTEGER zero{};
    spStream->Seek(zero, STREAM_SEEK_SET, nullptr);
    ULONG cbRead = 0;
    spStream->Read(text.data(), static_cast<ULONG>(text.size()), &cbRead);
    return text;
}

LONG LiveObjects() {
    HMODULE hModule = ::GetModuleHandleW(L"testfilters.dll");
    if (!hModule) return 0;  // not loaded: nothing of it can be alive
    auto pfn = reinterpret_cast<LONG(WINAPI*)()>(reinterpret_cast<void*>(::GetProcAddress(hModule, "TestbedLiveObjects")));
    return pfn ? pfn() : -1;
}

std::string ReadFileText(const std::wstring& path) {
    HANDLE hFile = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
    if (hFile == INVALID_HANDLE_VALUE) return std::string();
    std::string text;
    char buffer[4096];
    DWORD cbRead = 0;
    while (::ReadFile(hFile, buffer, sizeof buffer, &cbRead, nullptr) && cbRead > 0) text.append(buffer, cbRead);
    ::CloseHandle(hFile);
    return text;
}

LONGLONG FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<LONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::string Utf8(const std::wstring& text) { return test::Narrow(text); }

fw::ComPtr<IPin> FindPin(IBaseFilter* pFilter, const wchar_t* pszId) {
    fw::ComPtr<IPin> spPin;
    pFilter->FindPin(pszId, &spPin);
    return spPin;
}

}  // namespace filtertest
