// The bridge's waits for GraphEdit answer the calls other apartments make into this one, and
// dispatch nothing a user or a timer queued meanwhile. Checked on this thread (a single-threaded
// apartment, as the dialog's): another thread calls into an object of this apartment through
// COM's marshalling, as GraphEdit does from its process, and sends a message, while a window of
// this thread has a posted command, a key press and running timer ticks waiting in the queue.
#include <windows.h>

#include <gtest/gtest.h>

#include "ComPtr.h"
#include "Helpers.h"
#include "TestSupport.h"

namespace {

class CWaitingGraphEdit : public CGraphEdit {
public:
    using CGraphEdit::SleepAnsweringCom;
    using CGraphEdit::WaitAnsweringCom;
};

const UINT kSentByOtherThread = WM_APP + 1;

// What reached the window procedure of the test window, and when.
struct Dispatched {
    int cCommands = 0;
    int cKeys = 0;
    int cTimers = 0;
    int cSent = 0;
};
Dispatched g_dispatched;

LRESULT CALLBACK CountingWindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    switch (uMsg) {
    case WM_COMMAND: ++g_dispatched.cCommands; return 0;
    case WM_KEYDOWN: ++g_dispatched.cKeys; return 0;
    case WM_TIMER: ++g_dispatched.cTimers; return 0;
    case kSentByOtherThread: ++g_dispatched.cSent; return 0;
    }
    return ::DefWindowProcW(hWnd, uMsg, wParam, lParam);
}

// The other apartment: sends the window a message, then makes one call on a stream that lives
// in the test's apartment (marshalled to it, so the call is served by the test's thread), then
// says it is done.
struct Caller {
    IStream* pMarshalled = nullptr;  // the stream, marshalled for the other thread
    HWND hWnd = nullptr;
    HANDLE hDone = nullptr;
    DWORD dwDelayMs = 0;
    HRESULT hrCall = E_FAIL;
};

DWORD WINAPI CallIntoTheTestApartment(void* pParam) {
    auto* pCaller = static_cast<Caller*>(pParam);
    ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    IStream* pStream = nullptr;
    HRESULT hr = ::CoGetInterfaceAndReleaseStream(pCaller->pMarshalled, IID_IStream, reinterpret_cast<void**>(&pStream));
    ::Sleep(pCaller->dwDelayMs);  // the test's thread is in the wait by now
    if (SUCCEEDED(hr)) {
        ::SendMessageW(pCaller->hWnd, kSentByOtherThread, 0, 0);
        STATSTG rgStat = {};
        hr = pStream->Stat(&rgStat, STATFLAG_NONAME);
        pStream->Release();
    }
    pCaller->hrCall = hr;
    ::SetEvent(pCaller->hDone);
    ::CoUninitialize();
    return 0;
}

class ComWaitTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_dispatched = Dispatched();
        WNDCLASSW wc = {};
        wc.lpfnWndProc = CountingWindowProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"ComWaitTestWindow";
        ::RegisterClassW(&wc);
        m_hWnd = ::CreateWindowW(wc.lpszClassName, L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, wc.hInstance, nullptr);
        ASSERT_NE(nullptr, m_hWnd);
        ASSERT_HR(S_OK, ::CreateStreamOnHGlobal(nullptr, TRUE, &m_spStream));
        m_caller.hWnd = m_hWnd;
        m_caller.hDone = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        ASSERT_HR(S_OK, ::CoMarshalInterThreadInterfaceInStream(IID_IStream, m_spStream, &m_caller.pMarshalled));
    }
    void TearDown() override {
        if (m_hThread) {
            EXPECT_EQ(WAIT_OBJECT_0, CWaitingGraphEdit::WaitAnsweringCom(m_hThread, 5000));
            ::CloseHandle(m_hThread);
        }
        ::KillTimer(m_hWnd, 1);
        ::DestroyWindow(m_hWnd);
        ::CloseHandle(m_caller.hDone);
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
    }

    // Queues what a user and a timer would: a posted command, a key press, timer ticks.
    void QueueInputAndTicks() {
        ::PostMessageW(m_hWnd, WM_COMMAND, MAKEWPARAM(210, BN_CLICKED), 0);
        ::PostMessageW(m_hWnd, WM_KEYDOWN, VK_RETURN, 1);
        ::SetTimer(m_hWnd, 1, 10, nullptr);
    }
    void StartCaller(DWORD dwDelayMs) {
        m_caller.dwDelayMs = dwDelayMs;
        m_hThread = ::CreateThread(nullptr, 0, CallIntoTheTestApartment, &m_caller, 0, nullptr);
        ASSERT_NE(nullptr, m_hThread);
    }
    // The caller's call and its sent message were served inside the wait, nothing queued was
    // dispatched there, and afterwards the queued messages are all still there, for the
    // dialog's own loop.
    void ExpectCallServedAndInputLeftQueued() {
        EXPECT_HR(S_OK, m_caller.hrCall);
        EXPECT_EQ(1, g_dispatched.cSent);
        EXPECT_EQ(0, g_dispatched.cCommands);
        EXPECT_EQ(0, g_dispatched.cKeys);
        EXPECT_EQ(0, g_dispatched.cTimers);
        const DWORD dwStart = ::GetTickCount();
        while (g_dispatched.cTimers == 0 && ::GetTickCount() - dwStart < 1000) {
            MSG msg;
            while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        }
        EXPECT_EQ(1, g_dispatched.cCommands);
        EXPECT_EQ(1, g_dispatched.cKeys);
        EXPECT_GE(g_dispatched.cTimers, 1);
    }

    HWND m_hWnd = nullptr;
    fw::ComPtr<IStream> m_spStream;
    Caller m_caller;
    HANDLE m_hThread = nullptr;
};

TEST_F(ComWaitTest, WaitServesCallsAndSentMessagesButNoInputOrTimerTicks) {
    QueueInputAndTicks();
    StartCaller(50);
    // The caller's event is set only once its call into this apartment has been served.
    const DWORD dwStart = ::GetTickCount();
    EXPECT_EQ(WAIT_OBJECT_0, CWaitingGraphEdit::WaitAnsweringCom(m_caller.hDone, 3000));
    EXPECT_LT(::GetTickCount() - dwStart, 2000u);
    ExpectCallServedAndInputLeftQueued();
}

TEST_F(ComWaitTest, SleepLastsItsFullTimeAndServesCalls) {
    QueueInputAndTicks();
    StartCaller(20);
    const DWORD dwStart = ::GetTickCount();
    CWaitingGraphEdit::SleepAnsweringCom(300);
    const DWORD dwElapsed = ::GetTickCount() - dwStart;
    EXPECT_GE(dwElapsed, 290u);
    EXPECT_LT(dwElapsed, 2000u);
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(m_caller.hDone, 0));  // served inside the sleep
    ExpectCallServedAndInputLeftQueued();
}

TEST_F(ComWaitTest, WaitThatRunsOutGivesTimeout) {
    HANDLE hNever = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const DWORD dwStart = ::GetTickCount();
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), CWaitingGraphEdit::WaitAnsweringCom(hNever, 100));
    const DWORD dwElapsed = ::GetTickCount() - dwStart;
    EXPECT_GE(dwElapsed, 90u);
    EXPECT_LT(dwElapsed, 1000u);
    ::SetEvent(hNever);
    EXPECT_EQ(WAIT_OBJECT_0, CWaitingGraphEdit::WaitAnsweringCom(hNever, 100));
    ::CloseHandle(hNever);
    EXPECT_EQ(static_cast<DWORD>(WAIT_FAILED), CWaitingGraphEdit::WaitAnsweringCom(nullptr, 100));
}

}  // namespace
