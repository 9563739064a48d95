// "Play", "Pause" and "Stop": what reaches the writer (its journal), each refusal's message in
// turn, the interleaving text, and the commands without a graph.
#include <windows.h>

#include <vfwmsgs.h>

#include <algorithm>

#include "TestSupport.h"
#include "UiTest.h"

namespace ui {
namespace {

class UiPlayTest : public UiTest {
protected:
    // Builds a writer-only graph with this configuration; returns the journal lines so far.
    size_t BuildWriter(const std::vector<std::string>& config) {
        Build(WriterGraph(L"writer.grf", config));
        EXPECT_TRUE(NoBoxAfterSync());
        return Journal().size();
    }
    bool JournalHas(size_t cSkip, const std::string& line) const {
        const std::vector<std::string> lines = JournalSince(cSkip);
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
};

using UiPauseStopTest = UiPlayTest;
using UiInterleavingSpinTest = UiPlayTest;

TEST_F(UiPlayTest, WritesEveryOptionFromTheControlsInOrder) {
    const size_t cBefore = BuildWriter({});
    m_app.SetChecked(kSharedAccess, false);
    m_app.SetChecked(kMdatMode, true);
    m_app.SetChecked(kLongDur, false);
    m_app.SetText(kInterleaving, L"1234");
    m_app.SetChecked(kNonDrop, true);
    m_app.SetChecked(kSaveBreaksOnly, false);
    m_app.Click(kPlay);
    EXPECT_TRUE(NoBoxAfterSync());
    std::vector<std::string> lines = JournalSince(cBefore);
    auto isReadOutPoll = [](const std::string& s) { return s.rfind("GetWritten", 0) == 0; };
    lines.erase(std::remove_if(lines.begin(), lines.end(), isReadOutPoll), lines.end());
    EXPECT_EQ((std::vector<std::string>{"SetSharedAccess 0 -> 0x00000000", "SetMdatMode 1 -> 0x00000000",
                                        "SetLongDur 0 -> 0x00000000", "SetInterleaving 1234 -> 0x00000000",
                                        "SetNonDrop 1 -> 0x00000000", "SetSaveBreaksOnly 0 -> 0x00000000"}),
              lines);
}

// Each refusal is its own box, in the order of the options; after each, the control shows the
// value the writer kept (it kept the built values: all set, 750).
TEST_F(UiPlayTest, EveryRefusedOptionIsReportedInTurnAndShowsTheWritersValue) {
    struct Refusal {
        const char* pszKey;
        HRESULT hr;
        const wchar_t* pszMessage;
        int nControl;
    };
    const Refusal refusals[] = {
        {"hr.SetSharedAccess", E_FAIL, L"Can't set access mode", kSharedAccess},
        {"hr.SetMdatMode", E_NOTIMPL, L"Can't set .mdat mode", kMdatMode},
        {"hr.SetLongDur", E_UNEXPECTED, L"Can't change long duration flag", kLongDur},
        {"hr.SetInterleaving", VFW_E_WRONG_STATE, L"Can't set value of interleaving", kInterleaving},
        {"hr.SetNonDrop", E_ACCESSDENIED, L"Can't change drop mode for time codes", kNonDrop},
        {"hr.SetSaveBreaksOnly", E_ABORT, L"Can't change mode for processing time codes", kSaveBreaksOnly},
    };
    std::vector<std::string> config = kAllSet;
    for (const Refusal& r : refusals) config.push_back(std::string(r.pszKey) + "=" + test::Narrow(test::HrText(r.hr)));
    BuildWriter(config);
    for (int nId : kCheckBoxes) m_app.SetChecked(nId, false);
    m_app.SetText(kInterleaving, L"900");

    m_app.Click(kPlay);
    auto showsWritersValue = [this](int nId) {
        return nId == kInterleaving ? m_app.Text(nId) == L"750" : m_app.IsChecked(nId);
    };
    for (size_t i = 0; i < ARRAYSIZE(refusals); ++i) {
        SCOPED_TRACE(test::Narrow(refusals[i].pszMessage));
        EXPECT_EQ(ErrorBox(refusals[i].pszMessage, refusals[i].hr), TakeBox());
        ASSERT_TRUE(m_app.Sync());
        EXPECT_TRUE(showsWritersValue(refusals[i].nControl));
    }
    EXPECT_TRUE(NoBoxAfterSync());
}

TEST_F(UiPlayTest, SuccessCodeOtherThanSOkIsReportedAndReadBack) {
    const size_t cBefore = BuildWriter({"hr.SetMdatMode=S_FALSE"});
    m_app.SetChecked(kMdatMode, true);
    m_app.Click(kPlay);
    EXPECT_EQ(ErrorBox(L"Can't set .mdat mode", S_FALSE), TakeBox());
    EXPECT_TRUE(NoBoxAfterSync());
    EXPECT_TRUE(JournalHas(cBefore, "SetMdatMode 1 -> 0x00000001"));
    EXPECT_TRUE(JournalHas(cBefore, "GetMdatMode 1 -> 0x00000000"));
    EXPECT_TRUE(m_app.IsChecked(kMdatMode));
}

TEST_F(UiPlayTest, EmptyInterleavingIsReportedAndTheWriterGets200) {
    const size_t cBefore = BuildWriter({});
    m_app.SetText(kInterleaving, L"");
    m_app.Click(kPlay);
    EXPECT_EQ(ErrorBox(L"Invalid interleaving value, use default value", E_INVALIDARG), TakeBox());
    EXPECT_TRUE(NoBoxAfterSync());
    EXPECT_TRUE(JournalHas(cBefore, "SetInterleaving 200 -> 0x00000000"));
    EXPECT_EQ(L"", m_app.Text(kInterleaving));
}

TEST_F(UiPlayTest, InterleavingBeyond32BitsIsReportedAndTheWriterGets200) {
    const size_t cBefore = BuildWriter({});
    m_app.SetText(kInterleaving, L"99999999999");
    m_app.Click(kPlay);
    EXPECT_EQ(ErrorBox(L"Invalid interleaving value, use default value", E_INVALIDARG), TakeBox());
    EXPECT_TRUE(NoBoxAfterSync());
    EXPECT_TRUE(JournalHas(cBefore, "SetInterleaving 200 -> 0x00000000"));
    EXPECT_EQ(L"99999999999", m_app.Text(kInterleaving));
}

TEST_F(UiPlayTest, InterleavingBeyondTheSpinRangeIsPassedThrough) {
    const size_t cBefore = BuildWriter({});
    m_app.SetText(kInterleaving, L"5000");
    m_app.Click(kPlay);
    EXPECT_TRUE(NoBoxAfterSync());
    EXPECT_TRUE(JournalHas(cBefore, "SetInterleaving 5000 -> 0x00000000"));
}

// The arrow keys in the interleaving edit step its number within the up-down range 0..2000.
TEST_F(UiInterleavingSpinTest, ArrowKeysStepTheNumberWithinTheRange) {
    BuildWriter({});
    const struct {
        const wchar_t* pszBefore;
        UINT vk;
        const wchar_t* pszAfter;
    } steps[] = {{L"5", VK_UP, L"6"}, {L"5", VK_DOWN, L"4"}, {L"2000", VK_UP, L"2000"}, {L"0", VK_DOWN, L"0"}};
    for (const auto& step : steps) {
        m_app.SetText(kInterleaving, step.pszBefore);
        ASSERT_TRUE(m_app.PressKeyIn(kInterleaving, step.vk));
        ASSERT_TRUE(m_app.Sync());
        EXPECT_EQ(step.pszAfter, m_app.Text(kInterleaving)) << test::Narrow(step.pszBefore) << " key " << step.vk;
    }
}

// "Writer not found" leaves the run buttons as they were; a user who then plays gets every
// option refused (no writer), keeps the choices made, and the graph still runs.
TEST_F(UiPlayTest, WithoutWriterEveryOptionIsRefusedAndTheChoicesStay) {
    Build(GraphWithoutWriter(L"nowriter.grf"));
    ASSERT_EQ(ErrorBox(L"Corvelin Lathmere not found in graph", 0), TakeBox());
    m_app.SetChecked(kSharedAccess, true);
    m_app.SetChecked(kNonDrop, true);
    m_app.SetText(kInterleaving, L"321");
    m_app.Click(kPlay);
    for (const wchar_t* pszMessage :
         {L"Can't set access mode", L"Can't set .mdat mode", L"Can't change long duration flag",
          L"Can't set value of interleaving", L"Can't change drop mode for time codes",
          L"Can't change mode for processing time codes"})
        EXPECT_EQ(ErrorBox(pszMessage, E_FAIL), TakeBox());
    EXPECT_TRUE(NoBoxAfterSync());
    EXPECT_TRUE(m_app.IsChecked(kSharedAccess));
    EXPECT_FALSE(m_app.IsChecked(kMdatMode));
    EXPECT_TRUE(m_app.IsChecked(kNonDrop));
    EXPECT_EQ(L"321", m_app.Text(kInterleaving));
}

// Wine's graph manager pauses the filters first when a stopped graph is run, and returns a
// filter's refusal to pause from Run.
TEST_F(UiPlayTest, WriterRefusingToPauseShowsCantRunCaptureGraph) {
    BuildWriter({"pause=VFW_E_WRONG_STATE"});
    m_app.Click(kPlay);
    EXPECT_EQ(ErrorBox(L"Can't run capture graph", VFW_E_WRONG_STATE), TakeBox());
    EXPECT_TRUE(NoBoxAfterSync());
}

// The writer cannot create its sink, held by another opener without sharing: "Play" fails in
// the writer's Pause after the source has paused and started its streaming thread. Closing the
// program afterwards must still let the graph go and end cleanly (the fixture closes it).
TEST_F(UiPlayTest, SinkHeldOpenShowsCantRunCaptureGraphAndTheProgramStillCloses) {
    ASSERT_NO_FATAL_FAILURE(Build(SourceAndWriterGraph(L"stream.grf", {})));
    ASSERT_TRUE(NoBoxAfterSync());
    HANDLE hHeld = ::CreateFileW(SinkPath().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hHeld);
    m_app.Click(kPlay);
    EXPECT_EQ(ErrorBox(L"Can't run capture graph", HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION)), TakeBox());
    EXPECT_TRUE(NoBoxAfterSync());
    ::CloseHandle(hHeld);
}

// A writer that refuses option changes while it runs: "Play" pressed again reports each
// refusal and shows the writer's value read back (all set, 750), and the graph keeps running.
TEST_F(UiPlayTest, PlayAgainWhileRunningReportsEachRefusalAndTheGraphRunsOn) {
    std::vector<std::string> config = kAllSet;
    config.push_back("busy=VFW_E_NOT_STOPPED");
    PlayUntilSomethingIsWritten(config);
    for (int nId : kCheckBoxes) m_app.SetChecked(nId, false);
    m_app.SetText(kInterleaving, L"900");
    m_app.Click(kPlay);
    for (const wchar_t* pszMessage :
         {L"Can't set access mode", L"Can't set .mdat mode", L"Can't change long duration flag",
          L"Can't set value of interleaving", L"Can't change drop mode for time codes",
          L"Can't change mode for processing time codes"})
        EXPECT_EQ(ErrorBox(pszMessage, VFW_E_NOT_STOPPED), TakeBox());
    EXPECT_TRUE(NoBoxAfterSync());
    for (int nId : kCheckBoxes) EXPECT_TRUE(m_app.IsChecked(nId)) << "control " << nId;
    EXPECT_EQ(L"750", m_app.Text(kInterleaving));
    const long long nShown = WrittenThousandths();
    EXPECT_TRUE(WaitUntil([&] { return WrittenThousandths() > nShown; })) << "the graph stopped writing";
}

// The run buttons are disabled before a build; their commands still arrive from elsewhere.
TEST_F(UiPlayTest, WithoutGraphShowsGraphIsNotExist) {
    m_app.Click(kPlay);
    EXPECT_EQ(ErrorBox(L"Graph is not exist", E_FAIL), TakeBox());
    EXPECT_TRUE(NoBoxAfterSync());
}

TEST_F(UiPauseStopTest, PauseWithoutGraphShowsGraphIsNotExist) {
    m_app.Click(kPause);
    EXPECT_EQ(ErrorBox(L"Graph is not exist", E_FAIL), TakeBox());
    EXPECT_TRUE(NoBoxAfterSync());
}

TEST_F(UiPauseStopTest, StopWithoutGraphDoesNothing) {
    m_app.Click(kStop);
    EXPECT_TRUE(NoBoxAfterSync());
    EXPECT_EQ(L"", m_app.Text(kWritten));
}

TEST_F(UiPauseStopTest, PauseAndStopOfABuiltGraphShowNothing) {
    BuildWriter({});
    m_app.Click(kPlay);
    m_app.Click(kPause);
    m_app.Click(kStop);
    EXPECT_TRUE(NoBoxAfterSync());
}

}  // namespace
}  // namespace ui
