// ShowErrorBox called directly, for the texts no command of the program composes: a null
// message and one longer than the box's buffer. The box is modal, so it runs on a helper
// thread that owns the box's owner window; this thread reads the box and presses OK.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "ExpectedText.h"
#include "MainDialog.h"
#include "WindowProbe.h"

namespace ui {
namespace {

const wchar_t kCaption[] = L"Box test";

// One ShowErrorBox call on its own thread, with an owner window of that thread.
class BoxThread {
public:
    BoxThread(const wchar_t* pszMessage, HRESULT hr)
        : m_thread([this, pszMessage, hr] {
              HWND hWndOwner = ::CreateWindowExW(0, L"Static", L"owner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                                 nullptr, nullptr);
              m_hWndOwner = hWndOwner;
              m_nResult = ShowErrorBox(hWndOwner, pszMessage, kCaption, hr, 0);
              ::DestroyWindow(hWndOwner);
          }) {}
    ~BoxThread() {
        if (m_thread.joinable()) m_thread.join();
    }

    // Waits for the box, reads it and presses OK.
    BoxContent Answer() {
        if (!WaitUntil([this] { return m_hWndOwner.load() != nullptr; })) return BoxContent();
        HWND hWndBox = WaitForOwnedDialog(m_hWndOwner);
        if (!hWndBox) return BoxContent();
        BoxContent box = ReadBox(hWndBox);
        EXPECT_TRUE(PressOk(hWndBox));
        return box;
    }
    // Waits for ShowErrorBox to return.
    int Result() {
        if (m_thread.joinable()) m_thread.join();
        return m_nResult;
    }

private:
    std::atomic<HWND> m_hWndOwner{nullptr};
    int m_nResult = -1;
    std::thread m_thread;
};

BoxContent Box(const std::wstring& text, bool bIcon) {
    BoxContent box;
    box.caption = kCaption;
    box.text = text;
    box.bIcon = bIcon;
    return box;
}

TEST(ShowErrorBoxTest, NullMessageShowsTheExplanationThenTheCode) {
    const std::wstring explanation = PlatformExplanation(E_FAIL);
    ASSERT_FALSE(explanation.empty()) << "the platform has no text for E_FAIL";
    BoxThread thread(nullptr, E_FAIL);
    EXPECT_EQ(Box(explanation + L"\nError 0x80004005", true), thread.Answer());
}

TEST(ShowErrorBoxTest, NullMessageWithoutExplanationShowsTheCodeAlone) {
    ASSERT_EQ(L"", PlatformExplanation(0x8FFF1234)) << "this platform has a text for 0x8FFF1234";
    BoxThread thread(nullptr, 0x8FFF1234);
    EXPECT_EQ(Box(L"Error 0x8FFF1234", true), thread.Answer());
}

// The composed text holds 1023 characters: a longer message fills it, and neither the
// explanation nor the code line find room.
TEST(ShowErrorBoxTest, MessageOf2000CharactersShowsItsFirst1023Only) {
    std::wstring message;
    for (int i = 0; i < 2000; ++i) message += static_cast<wchar_t>(L'a' + i % 26);
    BoxThread thread(message.c_str(), E_INVALIDARG);
    EXPECT_EQ(Box(message.substr(0, 1023), true), thread.Answer());
}

TEST(ShowErrorBoxTest, ReturnsTheButtonPressed) {
    BoxThread thread(L"message", E_FAIL);
    thread.Answer();
    EXPECT_EQ(IDOK, thread.Result());
}

}  // namespace
}  // namespace ui
