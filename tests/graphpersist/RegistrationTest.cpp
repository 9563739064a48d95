// The prefix set-up: tbsetup.exe registers grfpersist.dll in place of quartz.dll's graph
// manager and writes the default graph; DllUnregisterServer gives the class back to quartz.
#include <windows.h>

#include <dshow.h>

#include <cstdio>

#include <gtest/gtest.h>

#include "GrfFile.h"
#include "PersistTestSupport.h"
#include "TestSupport.h"
#include "TestbedIds.h"

using namespace persisttest;

namespace {

const wchar_t kInprocServerKey[] = L"CLSID\\{E436EBB3-524F-11CE-9F53-0020AF0BA770}\\InprocServer32";

std::wstring ReadClassesValue(const wchar_t* pszName) {
    wchar_t szValue[MAX_PATH] = {};
    DWORD cb = sizeof(szValue);
    if (::RegGetValueW(HKEY_CLASSES_ROOT, kInprocServerKey, pszName, RRF_RT_REG_SZ, nullptr, szValue, &cb) !=
        ERROR_SUCCESS)
        return L"(none)";
    return szValue;
}

HRESULT CallServerEntry(const char* pszEntry) {
    HMODULE hModule = ::LoadLibraryW((test::BinDir() + L"\\grfpersist.dll").c_str());
    auto pfn = reinterpret_cast<HRESULT(WINAPI*)()>(reinterpret_cast<void*>(::GetProcAddress(hModule, pszEntry)));
    HRESULT hr = pfn ? pfn() : E_FAIL;
    ::FreeLibrary(hModule);
    return hr;
}

// Registers grfpersist.dll again however the test ends, so later tests find it.
struct RegistrationRestorer {
    ~RegistrationRestorer() { CallServerEntry("DllRegisterServer"); }
};

DWORD RunTbSetup() {
    std::wstring commandLine = L"\"" + test::BinDir() + L"\\tbsetup.exe\"";
    STARTUPINFOW rgStartup = {sizeof(rgStartup)};
    PROCESS_INFORMATION rgProcess = {};
    if (!::CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &rgStartup,
                          &rgProcess)) {
        std::printf("CreateProcessW failed, error %lu\n", ::GetLastError());
        return static_cast<DWORD>(-1);
    }
    ::WaitForSingleObject(rgProcess.hProcess, 30000);
    DWORD dwExitCode = static_cast<DWORD>(-1);
    ::GetExitCodeProcess(rgProcess.hProcess, &dwExitCode);
    ::CloseHandle(rgProcess.hThread);
    ::CloseHandle(rgProcess.hProcess);
    return dwExitCode;
}

bool OffersPersistence(REFCLSID clsid) {
    fw::ComPtr<IUnknown> spGraph;
    if (FAILED(spGraph.CoCreateInstance(clsid))) return false;
    return static_cast<bool>(fw::ComQIPtr<IPersistStream>(spGraph.Get()));
}

}  // namespace

TEST(GraphRegistration, UnregisteringGivesTheGraphManagerBackToQuartz) {
    RegistrationRestorer restorer;
    EXPECT_EQ(test::BinDir() + L"\\grfpersist.dll", ReadClassesValue(nullptr));
    EXPECT_EQ(L"Both", ReadClassesValue(L"ThreadingModel"));
    EXPECT_TRUE(OffersPersistence(CLSID_FilterGraph));

    ASSERT_HR(S_OK, CallServerEntry("DllUnregisterServer"));
    wchar_t szSystem[MAX_PATH];
    ::GetSystemDirectoryW(szSystem, MAX_PATH);
    EXPECT_EQ(std::wstring(szSystem) + L"\\quartz.dll", ReadClassesValue(nullptr));
    // Wine's own graph manager has no IPersistStream: that is why this server exists.
    EXPECT_FALSE(OffersPersistence(CLSID_FilterGraph));

    ASSERT_HR(S_OK, CallServerEntry("DllRegisterServer"));
    EXPECT_EQ(test::BinDir() + L"\\grfpersist.dll", ReadClassesValue(nullptr));
    EXPECT_TRUE(OffersPersistence(CLSID_FilterGraph));
}

// Runs on every test run, so it must be repeatable: a second run writes the same default graph again.
TEST(GraphRegistration, SetUpRunsAgainAndRewritesTheDefaultGraph) {
    ASSERT_TRUE(::DeleteFileW(TESTBED_DEFAULT_GRAPH));
    EXPECT_EQ(0u, RunTbSetup());
    std::vector<uint8_t> bytes;
    ASSERT_HR(S_OK, grf::ReadGrfFile(TESTBED_DEFAULT_GRAPH, bytes));
    EXPECT_EQ(0u, RunTbSetup());
    std::vector<uint8_t> again;
    ASSERT_HR(S_OK, grf::ReadGrfFile(TESTBED_DEFAULT_GRAPH, again));
    EXPECT_EQ(bytes, again);
    EXPECT_EQ(bytes, StreamBytes("filter 0001 \"Tavrel\" tavrel\n"
                                 "filter 0002 \"Lathmere writer\" writer sink "
                                 "\"C:\\CVS\\Dev\\Filters\\MPEG-4\\Lathmere\\Output\\Tavrel-Lathmere.mp4\"\n"
                                 "data name=Lathmere MPEG-4 Writer\n"
                                 "data number=2.1.0.7\n"
                                 "data date=2024-05-17 10:30:00\n"
                                 "data type=1\n"
                                 "data os=1\n"
                                 "connect 0001 \"Out\" 0002 \"In\" stream null 1 0 65536 none\n"
                                 "clock 0000\n"));
    EXPECT_EQ(test::BinDir() + L"\\grfpersist.dll", ReadClassesValue(nullptr));
}
