// The error box's exact text for codes chosen to exercise each way it is composed, driven
// through writer methods configured to fail with those codes.
#include <windows.h>

#include "TestSupport.h"
#include "UiTest.h"

namespace ui {
namespace {

class UiErrorBoxTest : public UiTest {
protected:
    // Builds a writer whose shared-access setter answers hr, plays, and returns the box.
    BoxContent SharedAccessRefusedWith(HRESULT hr) {
        Build(WriterGraph(L"writer.grf", {"hr.SetSharedAccess=" + test::Narrow(test::HrText(hr))}));
        EXPECT_TRUE(NoBoxAfterSync());
        m_app.Click(kPlay);
        return TakeBox();
    }
};

// The message, the system's explanation on the next line (with its own line break) and the code.
TEST_F(UiErrorBoxTest, SystemExplanationStandsBetweenMessageAndCode) {
    const std::wstring explanation = PlatformExplanation(E_FAIL);
    ASSERT_FALSE(explanation.empty()) << "the platform has no text for E_FAIL";
    const BoxContent box = SharedAccessRefusedWith(E_FAIL);
    EXPECT_EQ(L"Can't set access mode\n" + explanation + L"\nError 0x80004005", box.text);
    EXPECT_TRUE(box.bIcon);
    EXPECT_EQ(L"Lathmere Test", box.caption);
}

TEST_F(UiErrorBoxTest, CodeWithoutAnyTextShowsMessageAndCodeOnly) {
    ASSERT_EQ(L"", PlatformExplanation(0x8FFF1234)) << "this platform has a text for 0x8FFF1234";
    const BoxContent box = SharedAccessRefusedWith(0x8FFF1234);
    EXPECT_EQ(L"Can't set access mode\nError 0x8FFF1234", box.text);
    EXPECT_TRUE(box.bIcon);
}

// An interface-facility code takes DirectShow's text, when it has one.
TEST_F(UiErrorBoxTest, InterfaceCodeUsesDirectShowsText) {
    const HRESULT hr = 0x80040227;  // VFW_E_WRONG_STATE
    const BoxContent box = SharedAccessRefusedWith(hr);
    EXPECT_EQ(ErrorBox(L"Can't set access mode", hr), box);
}

// A positive code is a failure to the dialog too: explanation if any, upper-case hex without
// leading zeros, the error icon.
TEST_F(UiErrorBoxTest, PositiveCodeIsShownLikeAFailure) {
    const HRESULT hr = 0x00040242;
    const BoxContent box = SharedAccessRefusedWith(hr);
    EXPECT_EQ(ErrorBox(L"Can't set access mode", hr), box);
    EXPECT_EQ(L"\nError 0x40242", box.text.substr(box.text.size() - 14));
}

}  // namespace
}  // namespace ui
