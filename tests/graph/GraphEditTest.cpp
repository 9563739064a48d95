// The viewer bridge's publication and release: the running object table entry and the
// GraphEdit process it tracks.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ComPtr.h"
#include "Helpers.h"
#include "TestSupport.h"

namespace {

// Lets a test hand the bridge a child process of its own, as if the bridge had started it.
class CTrackingGraphEdit : public CGraphEdit {
public:
    void Track(const PROCESS_INFORMATION& rgPI) { m_rgPI = rgPI; }
};

PROCESS_INFORMATION StartQuitProbe(const wchar_t* pszArgs) {
    std::wstring cmd = L"\"" + test::BinDir() + L"\\quitprobe.exe\" " + pszArgs;
    STARTUPINFOW si = {sizeof(si)};
    PROCESS_INFORMATION pi = {};
    EXPECT_TRUE(::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        << "CreateProcessW failed, error " << ::GetLastError();
    EXPECT_EQ(0u, ::WaitForInputIdle(pi.hProcess, 5000));
    return pi;
}

// Duplicates the process handle so the test can watch the process after the bridge closed its own.
HANDLE WatchProcess(HANDLE hProcess) {
    HANDLE hCopy = nullptr;
    ::DuplicateHandle(::GetCurrentProcess(), hProcess, ::GetCurrentProcess(), &hCopy, SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION,
                      FALSE, 0);
    return hCopy;
}

// Whether the running object table holds an entry with this display name.
bool RotHasEntry(const std::wstring& name) {
    fw::ComPtr<IRunningObjectTable> spROT;
    if (::GetRunningObjectTable(0, &spROT) != S_OK) return false;
    fw::ComPtr<IEnumMoniker> spEnum;
    spROT->EnumRunning(&spEnum);
    fw::ComPtr<IBindCtx> spBindCtx;
    ::CreateBindCtx(0, &spBindCtx);
    bool bFound = false;
    for (;;) {
        fw::ComPtr<IMoniker> spMoniker;
        if (spEnum->Next(1, &spMoniker, nullptr) != S_OK) break;
        LPOLESTR pszName = nullptr;
        if (SUCCEEDED(spMoniker->GetDisplayName(spBindCtx, nullptr, &pszName))) {
            bFound = bFound || name == pszName;
            ::CoTaskMemFree(pszName);
        }
    }
    return bFound;
}

// The running object table as the bridge reaches it: its code is linked into this binary and
// asks for the table through this module's import of GetRunningObjectTable. While this object
// lives, that import hands out a table that passes every call on to the platform's own and
// records each Revoke. Revoking a cookie nothing was published under changes nothing in the
// platform's table, so only a record of the calls shows whether one was made.
class CRevokeRecorder : public IRunningObjectTable {
public:
    CRevokeRecorder() : m_pSlot(ImportSlot(reinterpret_cast<void*>(&::GetRunningObjectTable))) {
        EXPECT_NE(nullptr, m_pSlot) << "GetRunningObjectTable is not imported by this binary";
        EXPECT_HR(S_OK, ::GetRunningObjectTable(0, &m_spTable));
        s_pThis = this;
        if (!m_pSlot) return;
        m_pfnOriginal = *m_pSlot;
        Patch(reinterpret_cast<void*>(&GetRecordingTable));
    }
    ~CRevokeRecorder() {
        if (m_pSlot) Patch(m_pfnOriginal);
        s_pThis = nullptr;
    }
    const std::vector<DWORD>& Revoked() const { return m_revoked; }
    ULONG References() const { return m_cRef; }  // handed out and not yet released

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IRunningObjectTable) return E_NOINTERFACE;
        *ppv = static_cast<IRunningObjectTable*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_cRef; }
    STDMETHODIMP_(ULONG) Release() override { return --m_cRef; }
    STDMETHODIMP Register(DWORD grf, IUnknown* p, IMoniker* pmk, DWORD* pdw) override {
        return m_spTable->Register(grf, p, pmk, pdw);
    }
    STDMETHODIMP Revoke(DWORD dwCookie) override {
        m_revoked.push_back(dwCookie);
        return m_spTable->Revoke(dwCookie);
    }
    STDMETHODIMP IsRunning(IMoniker* pmk) override { return m_spTable->IsRunning(pmk); }
    STDMETHODIMP GetObject(IMoniker* pmk, IUnknown** pp) override { return m_spTable->GetObject(pmk, pp); }
    STDMETHODIMP NoteChangeTime(DWORD dw, FILETIME* pft) override { return m_spTable->NoteChangeTime(dw, pft); }
    STDMETHODIMP GetTimeOfLastChange(IMoniker* pmk, FILETIME* pft) override {
        return m_spTable->GetTimeOfLastChange(pmk, pft);
    }
    STDMETHODIMP EnumRunning(IEnumMoniker** pp) override { return m_spTable->EnumRunning(pp); }

private:
    // The platform's answer, with this table in place of its own when it hands one out.
    static HRESULT WINAPI GetRecordingTable(DWORD dwReserved, IRunningObjectTable** ppTable) {
        using Fn = HRESULT(WINAPI*)(DWORD, IRunningObjectTable**);
        const HRESULT hr = reinterpret_cast<Fn>(s_pThis->m_pfnOriginal)(dwReserved, ppTable);
        if (hr != S_OK) return hr;
        (*ppTable)->Release();
        return s_pThis->QueryInterface(IID_IRunningObjectTable, reinterpret_cast<void**>(ppTable));
    }
    // The slot of this module's import table that holds the function.
    static void** ImportSlot(void* pfn) {
        auto* pBase = reinterpret_cast<BYTE*>(::GetModuleHandleW(nullptr));
        auto* pNt = reinterpret_cast<IMAGE_NT_HEADERS*>(pBase + reinterpret_cast<IMAGE_DOS_HEADER*>(pBase)->e_lfanew);
        const DWORD rvaImports = pNt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
        for (auto* pDesc = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(pBase + rvaImports); pDesc->Name; ++pDesc)
            for (auto* pSlot = reinterpret_cast<void**>(pBase + pDesc->FirstThunk); *pSlot; ++pSlot)
                if (*pSlot == pfn) return pSlot;
        return nullptr;
    }
    void Patch(void* pfn) {
        DWORD dwProtect = 0;
        ::VirtualProtect(m_pSlot, sizeof(void*), PAGE_READWRITE, &dwProtect);
        *m_pSlot = pfn;
        ::VirtualProtect(m_pSlot, sizeof(void*), dwProtect, &dwProtect);
    }

    static CRevokeRecorder* s_pThis;
    void** m_pSlot;
    void* m_pfnOriginal = nullptr;
    fw::ComPtr<IRunningObjectTable> m_spTable;
    std::vector<DWORD> m_revoked;
    ULONG m_cRef = 0;
};
CRevokeRecorder* CRevokeRecorder::s_pThis = nullptr;

TEST(GraphEditState, FreshObjectIsIdleAndCloseCanBeRepeated) {
    test::AssertionCollector collector;
    CGraphEdit graphEdit;
    for (int i = 0; i < 3; ++i) {
        graphEdit.Close();
        EXPECT_EQ(0u, graphEdit.Cookie());
        EXPECT_EQ(nullptr, graphEdit.ProcessInfo().hProcess);
        EXPECT_EQ(nullptr, graphEdit.ProcessInfo().hThread);
        EXPECT_EQ(0u, graphEdit.ProcessInfo().dwProcessId);
        EXPECT_EQ(nullptr, graphEdit.GraphEditWindow());
        EXPECT_EQ(nullptr, graphEdit.ListBoxWindow());
    }
    EXPECT_TRUE(collector.All().empty());
}

TEST(GraphEditRot, NameIsLowerCaseZeroPaddedLow32Bits) {
    wchar_t sz[64];
    CGraphEdit::FormatCookieName(reinterpret_cast<void*>(0x000001D2A3F41230ull), 6700, sz);
    EXPECT_STREQ(L"FilterGraph a3f41230 pid 00001a2c", sz);
    CGraphEdit::FormatCookieName(reinterpret_cast<void*>(0xABC0ull), 0xFFFFFFFF, sz);
    EXPECT_STREQ(L"FilterGraph 0000abc0 pid ffffffff", sz);
    EXPECT_EQ(33u, wcslen(sz));
}

TEST(GraphEditRot, NullArgumentsAreRefused) {
    test::AssertionCollector collector;
    DWORD dwCookie = 1234;
    EXPECT_HR(E_INVALIDARG, CGraphEdit::AddToRot(nullptr, &dwCookie));
    EXPECT_EQ(1234u, dwCookie);
    fw::ComPtr<IStream> spObject;
    ASSERT_HR(S_OK, ::CreateStreamOnHGlobal(nullptr, TRUE, &spObject));
    EXPECT_HR(E_POINTER, CGraphEdit::AddToRot(spObject, nullptr));
#ifdef _DEBUG
    EXPECT_EQ((std::vector<std::wstring>{L"pGraph != 0", L"pdwCookie != 0"}), collector.Expressions(L"Helpers"));
#endif
}

TEST(GraphEditRot, PublishedUnderItemMonikerAndRevokedByClose) {
    CRevokeRecorder recorder;
    fw::ComPtr<IStream> spObject;
    ASSERT_HR(S_OK, ::CreateStreamOnHGlobal(nullptr, TRUE, &spObject));
    ULONG cRefBefore = test::RefCount(spObject);

    class : public CGraphEdit {
    public:
        DWORD* CookieSlot() { return &m_dwCookie; }
    } graphEdit;
    ASSERT_HR(S_OK, CGraphEdit::AddToRot(spObject, graphEdit.CookieSlot()));
    EXPECT_NE(0u, graphEdit.Cookie());

    wchar_t szName[64];
    CGraphEdit::FormatCookieName(spObject.Get(), ::GetCurrentProcessId(), szName);
    EXPECT_TRUE(RotHasEntry(std::wstring(L"!") + szName));
    ULONG cRefPublished = test::RefCount(spObject);
    EXPECT_GT(cRefPublished, cRefBefore);  // the table holds the object

    // Cookie 0 (nothing published) revokes nothing; the real registration stays.
    CGraphEdit::RemoveFromRot(0);
    EXPECT_TRUE(recorder.Revoked().empty());
    EXPECT_TRUE(RotHasEntry(std::wstring(L"!") + szName));
    EXPECT_EQ(cRefPublished, test::RefCount(spObject));

    const DWORD dwCookie = graphEdit.Cookie();
    graphEdit.Close();
    EXPECT_EQ(std::vector<DWORD>{dwCookie}, recorder.Revoked());
    EXPECT_EQ(0u, graphEdit.Cookie());
    EXPECT_FALSE(RotHasEntry(std::wstring(L"!") + szName));
    EXPECT_EQ(cRefBefore, test::RefCount(spObject));
    EXPECT_EQ(0u, recorder.References());  // every table handed out was released
}

TEST(GraphEditUnload, ChildThatObeysWmQuitEnds) {
    PROCESS_INFORMATION pi = StartQuitProbe(L"");
    HANDLE hWatch = WatchProcess(pi.hProcess);
    CTrackingGraphEdit graphEdit;
    graphEdit.Track(pi);
    DWORD dwStart = ::GetTickCount();
    graphEdit.Close();
    DWORD dwElapsed = ::GetTickCount() - dwStart;
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(hWatch, 2000));
    DWORD dwExit = 99;
    ::GetExitCodeProcess(hWatch, &dwExit);
    EXPECT_EQ(0u, dwExit);  // left its loop through WM_QUIT, not its 10 s deadline
    EXPECT_LT(dwElapsed, 1000u);
    EXPECT_EQ(nullptr, graphEdit.ProcessInfo().hProcess);
    EXPECT_EQ(0u, graphEdit.ProcessInfo().dwThreadId);
    ::CloseHandle(hWatch);
}

TEST(GraphEditUnload, ChildThatIgnoresWmQuitRunsOnAfterAboutOneSecond) {
    PROCESS_INFORMATION pi = StartQuitProbe(L"ignore-quit");
    HANDLE hWatch = WatchProcess(pi.hProcess);
    CTrackingGraphEdit graphEdit;
    graphEdit.Track(pi);
    DWORD dwStart = ::GetTickCount();
    graphEdit.UnloadGraphEdit();
    DWORD dwElapsed = ::GetTickCount() - dwStart;
    EXPECT_GE(dwElapsed, 950u);
    EXPECT_LT(dwElapsed, 2000u);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), ::WaitForSingleObject(hWatch, 0));  // still running, untracked
    EXPECT_EQ(nullptr, graphEdit.ProcessInfo().hThread);
    ::TerminateProcess(hWatch, 0);
    ::WaitForSingleObject(hWatch, 2000);
    ::CloseHandle(hWatch);
}

TEST(GraphEditUnload, ChildAlreadyEndedIsReleasedWithoutReport) {
    test::AssertionCollector collector;
    PROCESS_INFORMATION pi = StartQuitProbe(L"");
    ::PostThreadMessageW(pi.dwThreadId, WM_QUIT, 0, 0);
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(pi.hProcess, 2000));
    CTrackingGraphEdit graphEdit;
    graphEdit.Track(pi);
    DWORD dwStart = ::GetTickCount();
    graphEdit.Close();
    EXPECT_LT(::GetTickCount() - dwStart, 500u);
    EXPECT_EQ(nullptr, graphEdit.ProcessInfo().hProcess);
    EXPECT_TRUE(collector.All().empty());
}

}  // namespace
