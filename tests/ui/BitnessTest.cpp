// A writer registered for the other bitness only, in the x86 build's prefix, which holds both
// test beds: each in its own registry view (scripts/prefix.sh's third argument registers the
// x64 build's). An in-process server loads only into a process of its own bitness, so the
// program of either bitness finds no writer class registered for it: "Can't build graph" with
// REGDB_E_CLASSNOTREG, as a tester with the other build of the writer would see it.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "ExpectedText.h"
#include "TestSupport.h"
#include "UiTest.h"
#include "WriterInterfaces.h"

namespace ui {
namespace {

std::wstring ServerKey(REFCLSID clsid) {
    wchar_t szClsid[40];
    ::StringFromGUID2(clsid, szClsid, ARRAYSIZE(szClsid));
    return std::wstring(L"CLSID\\") + szClsid + L"\\InprocServer32";
}

std::wstring ReadString(HKEY hKey, const wchar_t* pszName) {
    wchar_t sz[MAX_PATH] = {};
    DWORD cb = sizeof(sz) - sizeof(wchar_t);
    if (::RegQueryValueExW(hKey, pszName, nullptr, nullptr, reinterpret_cast<BYTE*>(sz), &cb) != ERROR_SUCCESS)
        return std::wstring();
    return sz;
}

bool IsRegistered(REGSAM view, REFCLSID clsid) {
    HKEY hKey = nullptr;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, ServerKey(clsid).c_str(), 0, KEY_READ | view, &hKey) != ERROR_SUCCESS)
        return false;
    const bool bRegistered = !ReadString(hKey, nullptr).empty();
    ::RegCloseKey(hKey);
    return bRegistered;
}

// A class's in-process server in one registry view, taken away while this lives and then put
// back as it was (the server's path and threading model).
class CHiddenServer {
public:
    CHiddenServer(REGSAM view, REFCLSID clsid) : m_view(view), m_key(ServerKey(clsid)) {
        HKEY hKey = nullptr;
        if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, m_key.c_str(), 0, KEY_READ | m_view, &hKey) != ERROR_SUCCESS) return;
        m_path = ReadString(hKey, nullptr);
        m_threadingModel = ReadString(hKey, L"ThreadingModel");
        ::RegCloseKey(hKey);
        m_bHidden = ::RegDeleteKeyExW(HKEY_CLASSES_ROOT, m_key.c_str(), m_view, 0) == ERROR_SUCCESS;
    }
    ~CHiddenServer() {
        HKEY hKey = nullptr;
        if (m_bHidden && ::RegCreateKeyExW(HKEY_CLASSES_ROOT, m_key.c_str(), 0, nullptr, 0, KEY_WRITE | m_view, nullptr,
                                           &hKey, nullptr) == ERROR_SUCCESS) {
            SetString(hKey, nullptr, m_path);
            SetString(hKey, L"ThreadingModel", m_threadingModel);
            ::RegCloseKey(hKey);
        }
    }
    CHiddenServer(const CHiddenServer&) = delete;
    CHiddenServer& operator=(const CHiddenServer&) = delete;
    bool Hidden() const { return m_bHidden && !m_path.empty(); }

private:
    static void SetString(HKEY hKey, const wchar_t* pszName, const std::wstring& value) {
        ::RegSetValueExW(hKey, pszName, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                         static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    }

    REGSAM m_view;
    std::wstring m_key;
    std::wstring m_path;
    std::wstring m_threadingModel;
    bool m_bHidden = false;
};

// One program of the two builds.
struct Program {
    const char* name;
    bool bX64;
};

class BitnessTest : public UiTest, public ::testing::WithParamInterface<Program> {
protected:
    BitnessTest() {
        if (GetParam().bX64) m_app.SetProgram(X64_BIN_DIR L"\\LathmereTest.exe");
    }
    REGSAM OwnView() const { return GetParam().bX64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY; }
    REGSAM OtherView() const { return GetParam().bX64 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY; }
    bool RunsUnderWow64() const {
        BOOL bWow64 = FALSE;
        HANDLE hProcess = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, m_app.ProcessId());
        if (!hProcess) return false;
        ::IsWow64Process(hProcess, &bWow64);
        ::CloseHandle(hProcess);
        return bWow64 != FALSE;
    }
};

TEST_P(BitnessTest, WriterRegisteredOnlyForTheOtherBitnessCantBeBuilt) {
    ASSERT_EQ(!GetParam().bX64, RunsUnderWow64());
    ASSERT_TRUE(IsRegistered(OtherView(), CLSID_WriterFilter))
        << "the other bitness's test bed is not registered in this prefix (scripts/prefix.sh's third argument)";
    const std::wstring grf = WriterGraph(L"writer.grf", {});
    {
        CHiddenServer hidden(OwnView(), CLSID_WriterFilter);
        ASSERT_TRUE(hidden.Hidden());
        Build(grf);
        EXPECT_EQ(ErrorBox(L"Can't build graph", REGDB_E_CLASSNOTREG), TakeBox());
    }
    // Registered again for the program's own bitness, the same graph builds.
    ASSERT_TRUE(IsRegistered(OwnView(), CLSID_WriterFilter));
    Build(grf);
    EXPECT_TRUE(NoBoxAfterSync());
    EXPECT_NE(L"Lathmere Test", m_app.Caption());
}

INSTANTIATE_TEST_SUITE_P(Programs, BitnessTest, ::testing::Values(Program{"x86", false}, Program{"x64", true}),
                         [](const ::testing::TestParamInfo<Program>& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace ui
