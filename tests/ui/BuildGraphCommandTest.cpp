// "Build graph": the message for each outcome and what the dialog shows afterwards.
#include <windows.h>

#include <algorithm>

#include "GraphFiles.h"
#include "UiTest.h"

namespace ui {
namespace {

const int kSwitchedControls[] = {kSharedAccess, kMdatMode, kInterleaving, kInterleavingSpin, kNonDrop,
                                 kSaveBreaksOnly, kPlay, kPause, kStop};

const std::vector<std::string> kIdentity = {"name=UI Writer", "number=3.4.5", "date=2024-01-02 03:04:05", "type=0",
                                            "os=1"};
const wchar_t kIdentityCaption[] = L"Test for UI Writer [Debug 64] v.3.4.5 (2024-01-02 03:04:05)";

class UiBuildGraphTest : public UiTest {
protected:
    // The number of switched controls enabled: all or none is what the dialog should show.
    int EnabledSwitchedControls() const {
        int c = 0;
        for (int nId : kSwitchedControls) c += m_app.IsEnabled(nId) ? 1 : 0;
        return c;
    }
    void BuildWithAllOptionsSet() {
        ASSERT_NO_FATAL_FAILURE(Build(WriterGraph(L"first.grf", kAllSet)));
        ASSERT_TRUE(NoBoxAfterSync());
        ASSERT_EQ(9, EnabledSwitchedControls());
    }
    void ExpectOptions(bool bChecked, const wchar_t* pszInterleaving) const {
        for (int nId : {kSharedAccess, kMdatMode, kLongDur, kNonDrop, kSaveBreaksOnly})
            EXPECT_EQ(bChecked, m_app.IsChecked(nId)) << "control " << nId;
        EXPECT_EQ(pszInterleaving, m_app.Text(kInterleaving));
    }
};

// ---- Refusals and failures

TEST_F(UiBuildGraphTest, EmptyPathShowsFileNotSelectedWithInvalidArg) {
    Build(L"");
    EXPECT_EQ(ErrorBox(L".grf file not selected", E_INVALIDARG), TakeBox());
    EXPECT_EQ(0, EnabledSwitchedControls());
}

TEST_F(UiBuildGraphTest, EmptyPathDisablesTheControlsOfAnEarlierBuild) {
    BuildWithAllOptionsSet();
    Build(L"");
    EXPECT_EQ(ErrorBox(L".grf file not selected", E_INVALIDARG), TakeBox());
    EXPECT_EQ(0, EnabledSwitchedControls());
    EXPECT_TRUE(m_app.IsEnabled(kLongDur));
}

TEST_F(UiBuildGraphTest, PathNotEndingInGrfShowsCantBuildGraphAndDisablesTheControls) {
    BuildWithAllOptionsSet();
    Build(m_dir + L"\\graph.txt");
    EXPECT_EQ(ErrorBox(L"Can't build graph", E_INVALIDARG), TakeBox());
    EXPECT_EQ(0, EnabledSwitchedControls());
}

TEST_F(UiBuildGraphTest, MissingFileShowsCantBuildGraphWithTheStorageStatus) {
    const std::wstring path = m_dir + L"\\missing.grf";
    IStorage* pStorage = nullptr;
    const HRESULT hrOpen =
        ::StgOpenStorage(path.c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, &pStorage);
    ASSERT_TRUE(FAILED(hrOpen));
    BuildWithAllOptionsSet();
    Build(path);
    EXPECT_EQ(ErrorBox(L"Can't build graph", hrOpen), TakeBox());
    EXPECT_EQ(0, EnabledSwitchedControls());
}

TEST_F(UiBuildGraphTest, GraphWithoutWriterShowsAPlainMessageWithoutIconOrCode) {
    Build(GraphWithoutWriter(L"nowriter.grf"));
    EXPECT_EQ(ErrorBox(L"Corvelin Lathmere not found in graph", 0), TakeBox());
}

TEST_F(UiBuildGraphTest, GraphWithoutWriterLeavesControlsCaptionAndOptionsOfAnEarlierBuild) {
    std::vector<std::string> config = kAllSet;
    config.insert(config.end(), kIdentity.begin(), kIdentity.end());
    ASSERT_NO_FATAL_FAILURE(Build(WriterGraph(L"first.grf", config)));
    ASSERT_TRUE(NoBoxAfterSync());
    Build(GraphWithoutWriter(L"nowriter.grf"));
    EXPECT_EQ(ErrorBox(L"Corvelin Lathmere not found in graph", 0), TakeBox());
    EXPECT_EQ(9, EnabledSwitchedControls());
    EXPECT_EQ(kIdentityCaption, m_app.Caption());
    ExpectOptions(true, L"750");
}

// ---- Warning: the build passes on a success code other than S_OK

// A writer whose class query answers 0x00040242 (the class id still written): the build stops
// looking for the writer and passes the code on, which the dialog shows like a failure.
const char kClassQueryWarning[] = "hr.GetClassID=0x00040242";

TEST_F(UiBuildGraphTest, WarningFromTheBuildShowsSomeProblemsFoundWithTheCode) {
    const HRESULT hr = 0x00040242;
    Build(WriterGraph(L"warning.grf", {kClassQueryWarning}));
    const BoxContent box = TakeBox();
    EXPECT_EQ(ErrorBox(L"Some problems found", hr), box);  // with the platform's explanation, if any
    EXPECT_EQ(0u, box.text.find(L"Some problems found"));
    EXPECT_EQ(L"\nError 0x40242", box.text.substr(box.text.size() - std::min<size_t>(14, box.text.size())));
    EXPECT_TRUE(box.bIcon);
}

// After the box the build goes on as on success, but with no writer held: whatever the writer's
// own values, every getter fails and the controls show the presets; the caption and the read-out
// of an earlier build give way to "Lathmere Test" and "0.000 MBytes"; the controls that a
// refused build disabled are enabled again.
TEST_F(UiBuildGraphTest, WarningGoesOnAsOnSuccessWithoutAWriter) {
    std::vector<std::string> config = kAllSet;
    config.insert(config.end(), kIdentity.begin(), kIdentity.end());
    config.push_back("written=1234567");
    ASSERT_NO_FATAL_FAILURE(Build(WriterGraph(L"first.grf", config)));
    ASSERT_TRUE(NoBoxAfterSync());
    ASSERT_EQ(kIdentityCaption, m_app.Caption());
    ASSERT_EQ(L"1.234 MBytes", m_app.Text(kWritten));
    Build(L"");
    ASSERT_EQ(ErrorBox(L".grf file not selected", E_INVALIDARG), TakeBox());
    ASSERT_EQ(0, EnabledSwitchedControls());

    config = {"sharedaccess=1", "mdatmode=1", "longdur=1", "interleaving=700", "nondrop=1", "savebreaksonly=1",
              "written=7654321", kClassQueryWarning};
    config.insert(config.end(), kIdentity.begin(), kIdentity.end());
    Build(WriterGraph(L"warning.grf", config));
    EXPECT_EQ(ErrorBox(L"Some problems found", 0x00040242), TakeBox());
    ASSERT_TRUE(NoBoxAfterSync());
    EXPECT_EQ(9, EnabledSwitchedControls());
    EXPECT_TRUE(m_app.IsEnabled(kLongDur));
    ExpectOptions(false, L"200");
    EXPECT_EQ(L"Lathmere Test", m_app.Caption());
    EXPECT_EQ(L"0.000 MBytes", m_app.Text(kWritten));

    // Timer 1 runs: each tick's refresh finds no writer and computes "0.000 MBytes" again, which
    // the read-out already shows, so a tick changes nothing visible. Put another text in the
    // read-out: only a tick (nothing else refreshes it while no command runs) writes it back.
    m_app.SetText(kWritten, L"tick?");
    ASSERT_EQ(L"tick?", m_app.Text(kWritten));
    EXPECT_TRUE(WaitUntil([this] { return m_app.Text(kWritten) == L"0.000 MBytes"; })) << "timer 1 does not run";
}

// ---- Success

// The prefix set-up writes a graph with the writer at the default path: the main road.
TEST_F(UiBuildGraphTest, DefaultPathBuildsTheSetUpGraph) {
    m_app.Click(kBuildGraph);
    EXPECT_TRUE(NoBoxAfterSync());
    EXPECT_EQ(L"Test for ", m_app.Caption().substr(0, 9));
    EXPECT_EQ(9, EnabledSwitchedControls());
}

TEST_F(UiBuildGraphTest, SuccessShowsTheWritersOptions) {
    Build(WriterGraph(L"writer.grf", {"sharedaccess=1", "mdatmode=0", "longdur=1", "interleaving=750", "nondrop=0",
                                      "savebreaksonly=1"}));
    EXPECT_TRUE(NoBoxAfterSync());
    EXPECT_TRUE(m_app.IsChecked(kSharedAccess));
    EXPECT_FALSE(m_app.IsChecked(kMdatMode));
    EXPECT_TRUE(m_app.IsChecked(kLongDur));
    EXPECT_EQ(L"750", m_app.Text(kInterleaving));
    EXPECT_FALSE(m_app.IsChecked(kNonDrop));
    EXPECT_TRUE(m_app.IsChecked(kSaveBreaksOnly));
}

// Two filters of one name: the graph manager renames the second and the load passes its
// VFW_S_DUPLICATE_NAME on. That is a success: the build goes on to the writer.
TEST_F(UiBuildGraphTest, DuplicateFilterNameStillFindsTheWriterAndNamesItInTheCaption) {
    std::string description = "filter 0001 \"Lathmere writer\" tavrel\nfilter 0002 \"Lathmere writer\" writer\n";
    for (const std::string& line : kIdentity) description += "data " + line + "\n";
    Build(test::WriteGraphFile(m_dir, L"duplicate.grf", description + "clock 0000\n"));
    EXPECT_TRUE(NoBoxAfterSync());
    EXPECT_EQ(kIdentityCaption, m_app.Caption());
}

TEST_F(UiBuildGraphTest, SuccessShowsNothingWrittenAndEnablesOptionAndRunControls) {
    Build(WriterGraph(L"writer.grf", {}));
    EXPECT_TRUE(NoBoxAfterSync());
    EXPECT_EQ(L"0.000 MBytes", m_app.Text(kWritten));
    EXPECT_EQ(9, EnabledSwitchedControls());
    EXPECT_TRUE(m_app.IsEnabled(kLongDur));
}

TEST_F(UiBuildGraphTest, WriterWithoutIdentityResetsTheCaption) {
    ASSERT_NO_FATAL_FAILURE(Build(WriterGraph(L"named.grf", kIdentity)));
    ASSERT_EQ(kIdentityCaption, m_app.Caption());
    Build(WriterGraph(L"anonymous.grf", {"hideversion=1"}));
    EXPECT_TRUE(NoBoxAfterSync());
    EXPECT_EQ(L"Lathmere Test", m_app.Caption());
}

// Getters that fail and leave their argument alone: the controls show the presets.
TEST_F(UiBuildGraphTest, FailingGettersShowUncheckedBoxesAnd200WithoutAMessage) {
    BuildWithAllOptionsSet();
    std::vector<std::string> config = kAllSet;
    config.insert(config.end(), {"failout=keep", "hr.GetSharedAccess=E_FAIL", "hr.GetMdatMode=E_FAIL",
                                 "hr.GetLongDur=E_FAIL", "hr.GetInterleaving=E_FAIL", "hr.GetNonDrop=E_FAIL",
                                 "hr.GetSaveBreaksOnly=E_FAIL"});
    Build(WriterGraph(L"failing.grf", config));
    EXPECT_TRUE(NoBoxAfterSync());
    ExpectOptions(false, L"200");
}

// Getters that fail but still write their argument: the controls show what they wrote.
TEST_F(UiBuildGraphTest, FailingGettersThatWriteShowTheWrittenValues) {
    std::vector<std::string> config = kAllSet;
    config.insert(config.end(), {"failout=write", "hr.GetSharedAccess=E_FAIL", "hr.GetMdatMode=E_FAIL",
                                 "hr.GetLongDur=E_FAIL", "hr.GetInterleaving=E_FAIL", "hr.GetNonDrop=E_FAIL",
                                 "hr.GetSaveBreaksOnly=E_FAIL"});
    Build(WriterGraph(L"failing.grf", config));
    EXPECT_TRUE(NoBoxAfterSync());
    ExpectOptions(true, L"750");
}

// The path buffer holds 259 characters: a typed path of 259 characters naming a graph,
// followed by more text, builds that graph.
TEST_F(UiBuildGraphTest, OnlyTheFirst259CharactersOfATypedPathAreUsed) {
    const size_t cchName = 259 - m_dir.size() - 1;
    ASSERT_GT(cchName, 8u);
    const std::wstring name = std::wstring(cchName - 4, L'a') + L".grf";
    const std::wstring path = WriterGraph(name, {"name=Truncated"});
    ASSERT_EQ(259u, path.size());
    const std::wstring typed = path + L".not-this-one.grf";
    Build(typed);
    EXPECT_TRUE(NoBoxAfterSync());
    EXPECT_EQ(L"Test for Truncated", m_app.Caption().substr(0, 18));
    EXPECT_EQ(typed, m_app.Text(kFile));
}

}  // namespace
}  // namespace ui
