// Where the bridge finds what it starts: the property page server's registration and
// GraphEdit's "Path" value, read from the real registry of the test prefix, and the start of
// GraphEdit from them (the bare name, the second attempt in the property page server's folder).
// Each test puts the two registry values back as they were.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "Helpers.h"
#include "TestSupport.h"
#include "ViewerTestSupport.h"

namespace {

using viewertest::CCurrentDirectoryGuard;
using viewertest::CGraphEditPathValue;
using viewertest::CProppageValue;
using viewertest::CRegistryValueGuard;
using viewertest::Lower;

const HRESULT kFileNotFound = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);  // 0x80070002

// The registry values that a string read must refuse, applied to one guarded value.
struct BadValue {
    const char* pszWhat;
    void (*pfnApply)(CRegistryValueGuard& value);
};

const BadValue kBadValues[] = {
    {"missing", [](CRegistryValueGuard& value) { value.Remove(); }},
    {"REG_DWORD", [](CRegistryValueGuard& value) {
         const DWORD dw = 0x00410041;  // "AA" if it were read as text
         value.SetRaw(REG_DWORD, &dw, sizeof(dw));
     }},
    // RegSetValueExW adds the terminator the caller forgot when a zero follows the data (Windows
    // and Wine alike): the data below are followed by an 'X' so they are stored as given.
    {"odd byte length", [](CRegistryValueGuard& value) { value.SetRaw(REG_SZ, L"C:\\a.dllXX", 17); }},
    {"no terminator", [](CRegistryValueGuard& value) { value.SetRaw(REG_SZ, L"C:\\a.dllX", 16); }},
    {"too long for 260 characters", [](CRegistryValueGuard& value) {
         value.SetString(L"C:\\" + std::wstring(257, L'a'));  // 260 characters and the terminator
     }},
};

// ---- IsProppageRegistered -------------------------------------------------------------------

TEST(ProppageRegistration, RegisteredPathIsCopiedAsStored) {
    CProppageValue value;
    value.SetString(L"C:\\Windows\\System32\\proppage.dll");
    wchar_t szPath[MAX_PATH] = L"garbage";
    EXPECT_TRUE(CGraphEdit::IsProppageRegistered(szPath));
    EXPECT_STREQ(L"C:\\Windows\\System32\\proppage.dll", szPath);
    EXPECT_TRUE(CGraphEdit::IsProppageRegistered(nullptr));
}

TEST(ProppageRegistration, UnreadableValueCountsAsNotRegistered) {
    for (const BadValue& bad : kBadValues) {
        SCOPED_TRACE(bad.pszWhat);
        CProppageValue value;
        bad.pfnApply(value);
        wchar_t szPath[MAX_PATH] = L"garbage";
        EXPECT_FALSE(CGraphEdit::IsProppageRegistered(szPath));
        EXPECT_STREQ(L"", szPath);
    }
}

TEST(ProppageRegistration, WithoutBufferOnlyTheKeysAreTested) {
    CProppageValue value;
    value.Remove();
    EXPECT_TRUE(CGraphEdit::IsProppageRegistered(nullptr));
}

TEST(ProppageRegistration, LongestPathThatFitsAndEmptyValueAreRead) {
    CProppageValue value;
    const std::wstring longest = L"C:\\" + std::wstring(256, L'b');  // 259 characters and the terminator
    value.SetString(longest);
    wchar_t szPath[MAX_PATH] = L"";
    EXPECT_TRUE(CGraphEdit::IsProppageRegistered(szPath));
    EXPECT_EQ(longest, szPath);

    value.SetRaw(REG_SZ, L"", 0);
    wcscpy(szPath, L"garbage");
    EXPECT_TRUE(CGraphEdit::IsProppageRegistered(szPath));
    EXPECT_STREQ(L"", szPath);
}

TEST(ProppageRegistration, ExpandableStringIsNotExpanded) {
    CProppageValue value;
    value.SetString(L"%SystemRoot%\\System32\\proppage.dll", REG_EXPAND_SZ);
    wchar_t szPath[MAX_PATH] = L"";
    EXPECT_TRUE(CGraphEdit::IsProppageRegistered(szPath));
    EXPECT_STREQ(L"%SystemRoot%\\System32\\proppage.dll", szPath);
}

// ---- LoadGraphEdit --------------------------------------------------------------------------

class LoadGraphEditTest : public viewertest::GraphEditTest {
protected:
    // Starts GraphEdit as the bridge does; on success checks which executable runs, then asks it to quit.
    void ExpectStarted(const wchar_t* pszProppage, const std::wstring& expectedImage) {
        CGraphEdit graphEdit;
        ASSERT_HR(S_OK, graphEdit.LoadGraphEdit(pszProppage));
        const PROCESS_INFORMATION& rgPI = graphEdit.ProcessInfo();
        EXPECT_NE(nullptr, rgPI.hProcess);
        EXPECT_NE(nullptr, rgPI.hThread);
        EXPECT_NE(0u, rgPI.dwProcessId);
        EXPECT_NE(0u, rgPI.dwThreadId);
        EXPECT_EQ(Lower(expectedImage), viewertest::ImagePath(rgPI.hProcess));
        graphEdit.Close();
    }
    // Expects the start to fail with hr and nothing to be started or tracked.
    void ExpectNotStarted(const wchar_t* pszProppage, HRESULT hr) {
        CGraphEdit graphEdit;
        EXPECT_HR(hr, graphEdit.LoadGraphEdit(pszProppage));
        EXPECT_EQ(nullptr, graphEdit.ProcessInfo().hProcess);
        EXPECT_EQ(0u, graphEdit.ProcessInfo().dwProcessId);
        EXPECT_TRUE(viewertest::ChildProcesses(viewertest::kGraphEditExe).empty());
    }

    CGraphEditPathValue m_path;
    CProppageValue m_proppage;
};

TEST_F(LoadGraphEditTest, StartsThePathFromTheRegistryAndWaitsUntilItIsReady) {
    m_path.SetString(viewertest::BinGraphEdit());
    ExpectStarted(nullptr, viewertest::BinGraphEdit());
    EXPECT_TRUE(m_state.Has("ready"));  // written just before GraphEdit's message loop starts
    EXPECT_TRUE(m_state.Has("quit"));
}

TEST_F(LoadGraphEditTest, UnreadablePathStartsTheBareNameInTheCurrentFolder) {
    // CreateProcessW takes a bare application name from the current folder, without a search.
    viewertest::CopyGraphEdit(m_dir + L"\\graphedt.exe");
    CCurrentDirectoryGuard cwd(m_dir);
    for (const BadValue& bad : kBadValues) {
        SCOPED_TRACE(bad.pszWhat);
        bad.pfnApply(m_path);
        ExpectStarted(viewertest::BinProppage().c_str(), m_dir + L"\\graphedt.exe");
    }
}

TEST_F(LoadGraphEditTest, FileNotFoundIsRetriedInTheProppageFolder) {
    m_path.SetString(m_dir + L"\\absent.exe");
    ExpectStarted(viewertest::BinProppage().c_str(), viewertest::BinGraphEdit());
    std::wstring forward = viewertest::BinProppage();
    for (wchar_t& c : forward)
        if (c == L'\\') c = L'/';
    ExpectStarted(forward.c_str(), viewertest::BinGraphEdit());
}

TEST_F(LoadGraphEditTest, BackslashAtTheStartRetriesAtTheRootOfTheCurrentDrive) {
    m_path.SetString(m_dir + L"\\absent.exe");
    CCurrentDirectoryGuard cwd(m_dir);  // on drive C: of the prefix
    const std::wstring root = m_dir.substr(0, 2) + L"\\graphedt.exe";
    viewertest::CopyGraphEdit(root);
    ExpectStarted(L"\\proppage.dll", root);
    viewertest::PumpUntil([] { return viewertest::ChildProcesses(viewertest::kGraphEditExe).empty(); }, 1000);
    EXPECT_TRUE(::DeleteFileW(root.c_str()));
}

TEST_F(LoadGraphEditTest, NoSeparatorMeansNoSecondAttempt) {
    m_path.SetString(m_dir + L"\\absent.exe");
    // From the stand-in's own folder a retry by a bare name would succeed: none is made.
    CCurrentDirectoryGuard cwd(test::BinDir());
    ExpectNotStarted(L"proppage.dll", kFileNotFound);
    ExpectNotStarted(L"", kFileNotFound);
    ExpectNotStarted(nullptr, kFileNotFound);
}

TEST_F(LoadGraphEditTest, SecondAttemptOnlyWhenTheNameFitsAfterTheSeparator) {
    m_path.SetString(m_dir + L"\\absent.exe");
    // 247 characters up to and including the last separator: "graphedt.exe" and the terminator just
    // fit, and the attempt in that missing folder fails with path-not-found.
    const std::wstring fits = L"C:\\" + std::wstring(243, L'c') + L"\\proppage.dll";
    ExpectNotStarted(fits.c_str(), HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
    // 248 characters: no second attempt, the first start's file-not-found stands.
    const std::wstring tooFar = L"C:\\" + std::wstring(244, L'c') + L"\\proppage.dll";
    ExpectNotStarted(tooFar.c_str(), kFileNotFound);
}

// The error of starting this path, as the platform gives it.
DWORD StartError(const std::wstring& path) {
    STARTUPINFOW rgSI = {sizeof(rgSI)};
    PROCESS_INFORMATION rgPI = {};
    if (::CreateProcessW(path.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &rgSI, &rgPI)) {
        ::TerminateProcess(rgPI.hProcess, 0);
        ::CloseHandle(rgPI.hThread);
        ::CloseHandle(rgPI.hProcess);
        return 0;
    }
    return ::GetLastError();
}

TEST_F(LoadGraphEditTest, OtherStartErrorsAreNotRetried) {
    const std::wstring text = m_dir + L"\\notes.exe";
    HANDLE hFile = ::CreateFileW(text.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD cb = 0;
    ::WriteFile(hFile, "not a program\r\n", 15, &cb, nullptr);
    ::CloseHandle(hFile);
    // A folder gives ERROR_ACCESS_DENIED on Windows and ERROR_INVALID_HANDLE under Wine 8;
    // a text file gives ERROR_BAD_EXE_FORMAT on both. Either way it is not file-not-found.
    for (const std::wstring& path : {m_dir, text}) {
        SCOPED_TRACE(test::Narrow(path));
        const DWORD dwError = StartError(path);
        ASSERT_NE(0u, dwError);
        ASSERT_NE(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), dwError);
        m_path.SetString(path);
        ExpectNotStarted(viewertest::BinProppage().c_str(), HRESULT_FROM_WIN32(dwError));
    }
}

TEST_F(LoadGraphEditTest, EnvironmentVariablesInPathsAreNotExpanded) {
    // A folder literally named "%SystemRoot%" below the current folder: only an unexpanded path reaches it.
    const std::wstring literal = m_dir + L"\\%SystemRoot%\\System32";
    ASSERT_TRUE(::CreateDirectoryW((m_dir + L"\\%SystemRoot%").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW(literal.c_str(), nullptr));
    viewertest::CopyGraphEdit(literal + L"\\graphedt.exe");
    CCurrentDirectoryGuard cwd(m_dir);

    m_path.SetString(L"%SystemRoot%\\System32\\graphedt.exe", REG_EXPAND_SZ);
    ExpectStarted(nullptr, literal + L"\\graphedt.exe");

    m_path.SetString(m_dir + L"\\absent.exe");
    ExpectStarted(L"%SystemRoot%\\System32\\proppage.dll", literal + L"\\graphedt.exe");
}

}  // namespace
