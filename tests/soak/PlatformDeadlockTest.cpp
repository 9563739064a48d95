// The soak names a stopped program Wine's COM deadlock (and the test command's summary repeats
// the name) only when its dialog's thread waits in rpcrt4's RpcServerUnregisterIf
// (PlatformDeadlock.h). A hang of the program's own must never be named so: it would be blamed
// on Wine. Here the dialog is held in a message box, and in its wait for GraphEdit to quit,
// after serving a GraphEdit with the graph manager's interface pins off: the dialog's thread
// has then itself been through RpcServerUnregisterIf, and returned, when GraphEdit let go, and
// the stack the detector reads may hold traces of that call.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "PlatformDeadlock.h"
#include "TestSupport.h"
#include "UiTest.h"
#include "WindowProbe.h"

namespace ui {
namespace {

const DWORD kConnectTimeoutMs = 10000;

class PlatformDeadlockTest : public UiTest {
protected:
    explicit PlatformDeadlockTest(bool bGraphEditIgnoresQuit = false)
        : m_bGraphEditIgnoresQuit(bGraphEditIgnoresQuit) {}
    void SetUp() override {
        m_stateFile = test::MakeTempDir(L"deadlock") + L"\\graphedit-state.txt";
        // The program inherits these and hands them on to the GraphEdit it starts.
        ::SetEnvironmentVariableW(L"GRFPERSIST_UNPINNED", L"1");
        ::SetEnvironmentVariableW(L"GRAPHEDT_STATE_FILE", m_stateFile.c_str());
        if (m_bGraphEditIgnoresQuit) ::SetEnvironmentVariableW(L"GRAPHEDT_IGNORE_QUIT", L"1");
        UiTest::SetUp();
        for (const wchar_t* pszName : {L"GRFPERSIST_UNPINNED", L"GRAPHEDT_STATE_FILE", L"GRAPHEDT_IGNORE_QUIT"})
            ::SetEnvironmentVariableW(pszName, nullptr);
    }
    void TearDown() override {
        UiTest::TearDown();
        ::DeleteFileW(m_stateFile.c_str());
        ::RemoveDirectoryW(m_stateFile.substr(0, m_stateFile.find_last_of(L'\\')).c_str());
    }

    // Shows the graph and waits until GraphEdit has bound to it.
    void ShowGraph() {
        m_app.Click(kShowGraph);
        ASSERT_TRUE(NoBoxAfterSync());
        const std::string connected = "connected pid=" + Hex8(m_app.ProcessId());
        ASSERT_TRUE(WaitUntil([&] {
            for (const std::string& line : ReadLines(m_stateFile))
                if (line.find(connected) != std::string::npos) return true;
            return false;
        }, kConnectTimeoutMs));
    }

    static std::string Hex8(DWORD dw) {
        char sz[16];
        wsprintfA(sz, "%08lx", dw);
        return sz;
    }

    std::wstring m_stateFile;
    const bool m_bGraphEditIgnoresQuit;
};

TEST_F(PlatformDeadlockTest, ADialogHeldInAMessageBoxIsNotNamedAPlatformDeadlock) {
    const std::wstring graph = SourceAndWriterGraph(L"shown.grf", {});
    Build(graph);
    ASSERT_NO_FATAL_FAILURE(ShowGraph());
    // GraphEdit ends: its releases are served on the dialog's thread while the program waits.
    Build(graph);
    ASSERT_TRUE(NoBoxAfterSync());
    m_app.SetText(kFile, m_dir + L"\\missing.grf");
    m_app.Click(kBuildGraph);
    ASSERT_NE(nullptr, m_app.WaitForBox());

    HANDLE hProcess = ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, m_app.ProcessId());
    ASSERT_NE(nullptr, hProcess);
    const DWORD dwThreadId = ::GetWindowThreadProcessId(m_app.Dialog(), nullptr);
    // The same reading finds where the thread really waits: inside MessageBoxW.
    EXPECT_TRUE(soak::StackReturnsInto(hProcess, dwThreadId, L"user32.dll", "MessageBoxW", 0x100));
    EXPECT_FALSE(soak::WaitsInRpcServerUnregisterIf(hProcess, dwThreadId));
    ::CloseHandle(hProcess);
    EXPECT_FALSE(TakeBox().text.empty());
}

class QuitIgnoringGraphEditTest : public PlatformDeadlockTest {
protected:
    QuitIgnoringGraphEditTest() : PlatformDeadlockTest(true) {}
};

// Building again holds the dialog for the program's whole wait for GraphEdit to quit (a
// second), answering COM; the thread is read over and over meanwhile.
TEST_F(QuitIgnoringGraphEditTest, ADialogWaitingForGraphEditToQuitIsNotNamedAPlatformDeadlock) {
    const std::wstring graph = SourceAndWriterGraph(L"shown.grf", {});
    Build(graph);
    ASSERT_NO_FATAL_FAILURE(ShowGraph());
    HANDLE hProcess = ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, m_app.ProcessId());
    ASSERT_NE(nullptr, hProcess);
    const DWORD dwThreadId = ::GetWindowThreadProcessId(m_app.Dialog(), nullptr);
    m_app.SetText(kFile, graph);
    m_app.Click(kBuildGraph);
    bool bSeenWaiting = false, bNamed = false;
    for (const DWORD dwStart = ::GetTickCount(); !bSeenWaiting && ::GetTickCount() - dwStart < 3000;) {
        bSeenWaiting = soak::StackReturnsInto(hProcess, dwThreadId, L"combase.dll", "CoWaitForMultipleHandles", 0x400);
        bNamed = bNamed || soak::WaitsInRpcServerUnregisterIf(hProcess, dwThreadId);
    }
    ::CloseHandle(hProcess);
    EXPECT_TRUE(bSeenWaiting) << "the dialog's thread was never seen in CoWaitForMultipleHandles";
    EXPECT_FALSE(bNamed);
    EXPECT_TRUE(NoBoxAfterSync());
}

}  // namespace
}  // namespace ui
