// CGraph's writer operations against the writer stand-in: options passed through unchanged,
// results passed on, the journal of what reached the writer, and the identity text.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "Graph.h"
#include "GraphFiles.h"
#include "TestSupport.h"

namespace {

class GraphWriterTest : public ::testing::Test {
protected:
    void SetUp() override { m_dir = test::MakeTempDir(L"writer"); }

    // Builds a graph whose writer has the given configuration lines and a journal.
    void Build(const std::string& config) {
        m_journal = m_dir + L"\\journal.txt";
        std::string description = "filter 0001 \"Lathmere writer\" writer\n";
        description += "data journal=" + test::Narrow(m_journal) + "\n";
        std::istringstream lines(config);
        for (std::string line; std::getline(lines, line);)
            if (!line.empty()) description += "data " + line + "\n";
        ASSERT_HR(S_OK, m_graph.BuildGraph(test::WriteGraphFile(m_dir, L"w.grf", description).c_str()));
    }
    // The journal lines written since the last call.
    std::vector<std::string> NewJournalLines() {
        std::ifstream in(m_journal.c_str());
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        std::vector<std::string> fresh(lines.begin() + std::min(m_cJournalSeen, lines.size()), lines.end());
        m_cJournalSeen = lines.size();
        return fresh;
    }
    std::wstring VersionString() {
        fw::ComBstr cbs;
        EXPECT_HR(S_OK, m_graph.GetVersionString(cbs));
        return cbs.Text();
    }

    std::wstring m_dir;
    std::wstring m_journal;
    size_t m_cJournalSeen = 0;
    CGraph m_graph;
};

TEST_F(GraphWriterTest, WithoutWriterEveryOptionFailsAndLeavesItsArgument) {
    test::AssertionCollector asserts;
    CGraph graph;
    BOOL b = 7;
    DWORD dw = 1234;
    EXPECT_HR(E_FAIL, graph.SetSharedAccess(TRUE));
    EXPECT_HR(E_FAIL, graph.GetSharedAccess(&b));
    EXPECT_HR(E_FAIL, graph.SetMdatMode(TRUE));
    EXPECT_HR(E_FAIL, graph.GetMdatMode(&b));
    EXPECT_HR(E_FAIL, graph.SetLongDur(TRUE));
    EXPECT_HR(E_FAIL, graph.GetLongDur(&b));
    EXPECT_HR(E_FAIL, graph.SetInterleaving(5));
    EXPECT_HR(E_FAIL, graph.GetInterleaving(&dw));
    EXPECT_HR(E_FAIL, graph.SetNonDrop(TRUE));
    EXPECT_HR(E_FAIL, graph.GetNonDrop(&b));
    EXPECT_HR(E_FAIL, graph.SetSaveBreaksOnly(TRUE));
    EXPECT_HR(E_FAIL, graph.GetSaveBreaksOnly(&b));
    EXPECT_EQ(0, graph.GetWritten());
    EXPECT_EQ(7, b);
    EXPECT_EQ(1234u, dw);
#ifdef _DEBUG
    EXPECT_EQ(std::vector<std::wstring>(13, L"m_spWriter != 0"), asserts.Expressions(L"Graph"));
#endif
    fw::ComBstr cbs(L"old text");
    EXPECT_HR(S_FALSE, graph.GetVersionString(cbs));
    EXPECT_TRUE(cbs.IsNull());
#ifdef _DEBUG
    EXPECT_EQ(13u, asserts.Expressions(L"Graph").size());  // GetVersionString reports nothing
#endif
}

TEST_F(GraphWriterTest, OptionsReachTheWriterUnchangedInTheOrderCalled) {
    Build("");
    EXPECT_HR(S_OK, m_graph.SetSharedAccess(TRUE));
    EXPECT_HR(S_OK, m_graph.SetMdatMode(FALSE));
    EXPECT_HR(S_OK, m_graph.SetLongDur(TRUE));
    EXPECT_HR(S_OK, m_graph.SetInterleaving(5000));  // beyond the dialog's spin range: not clamped
    EXPECT_HR(S_OK, m_graph.SetNonDrop(TRUE));
    EXPECT_HR(S_OK, m_graph.SetSaveBreaksOnly(TRUE));
    BOOL b = 0;
    DWORD dw = 0;
    EXPECT_HR(S_OK, m_graph.GetSharedAccess(&b));
    EXPECT_EQ(TRUE, b);
    EXPECT_HR(S_OK, m_graph.GetInterleaving(&dw));
    EXPECT_EQ(5000u, dw);
    EXPECT_HR(S_OK, m_graph.GetMdatMode(&b));
    EXPECT_EQ(FALSE, b);
    EXPECT_EQ((std::vector<std::string>{"SetSharedAccess 1 -> 0x00000000", "SetMdatMode 0 -> 0x00000000",
                                        "SetLongDur 1 -> 0x00000000", "SetInterleaving 5000 -> 0x00000000",
                                        "SetNonDrop 1 -> 0x00000000", "SetSaveBreaksOnly 1 -> 0x00000000",
                                        "GetSharedAccess 1 -> 0x00000000", "GetInterleaving 5000 -> 0x00000000",
                                        "GetMdatMode 0 -> 0x00000000"}),
              NewJournalLines());
}

TEST_F(GraphWriterTest, SuccessCodesAndFailuresArePassedOnUnchanged) {
    Build("hr.SetSharedAccess=S_FALSE\nhr.SetNonDrop=0x8FFF1234\nhr.GetLongDur=E_NOTIMPL\nfailout=keep");
    EXPECT_HR(S_FALSE, m_graph.SetSharedAccess(TRUE));
    EXPECT_HR(static_cast<HRESULT>(0x8FFF1234), m_graph.SetNonDrop(TRUE));
    BOOL b = 42;
    EXPECT_HR(E_NOTIMPL, m_graph.GetLongDur(&b));
    EXPECT_EQ(42, b);  // the writer did not write it, and neither did CGraph
}

// The writer reports the configured count in every case; only a call that returns S_OK may
// pass it on. The journal shows the writer did write it.
TEST_F(GraphWriterTest, GetWrittenPassesTheCountOnOnlyForSOk) {
    const struct {
        const char* pszConfig;
        LONGLONG llExpected;
        const char* pszJournal;
    } rgCases[] = {
        {"", 0, "GetWritten 0 -> 0x00000000"},  // nothing written yet: the sink's own count
        {"written=5000", 5000, "GetWritten 5000 -> 0x00000000"},
        {"written=-2", -2, "GetWritten -2 -> 0x00000000"},  // passed on as the writer gives it
        {"written=5000\nhr.GetWritten=E_FAIL", 0, "GetWritten 5000 -> 0x80004005"},
        {"written=5000\nhr.GetWritten=S_FALSE", 0, "GetWritten 5000 -> 0x00000001"},
    };
    for (const auto& c : rgCases) {
        SCOPED_TRACE(c.pszConfig);
        Build(c.pszConfig);
        NewJournalLines();
        EXPECT_EQ(c.llExpected, m_graph.GetWritten());
        EXPECT_EQ(std::vector<std::string>{c.pszJournal}, NewJournalLines());
        m_graph.Clear();
        ::DeleteFileW(m_journal.c_str());
        m_cJournalSeen = 0;
    }
}

TEST_F(GraphWriterTest, VersionStringComposesTheIdentity) {
    Build("name=Writer\ntype=1\nos=1\nnumber=1.2\ndate=17.05.22");
    EXPECT_EQ(L"Writer [Release 64] v.1.2 (17.05.22)", VersionString());
    EXPECT_EQ((std::vector<std::string>{"GetType 1 -> 0x00000000", "GetOS 1 -> 0x00000000",
                                        "GetName \"Writer\" -> 0x00000000", "GetNumber \"1.2\" -> 0x00000000",
                                        "GetDateTime \"17.05.22\" -> 0x00000000"}),
              NewJournalLines());
}

TEST_F(GraphWriterTest, VersionStringWithEveryIdentityCallFailing) {
    Build("hr.GetType=E_FAIL\nhr.GetOS=E_FAIL\nhr.GetName=E_FAIL\nhr.GetNumber=E_FAIL\nhr.GetDateTime=E_FAIL\n"
          "failout=keep");
    test::AssertionCollector asserts;
    EXPECT_EQ(L" [Debug 32] v. ()", VersionString());
#ifdef _DEBUG
    EXPECT_EQ(std::vector<std::wstring>(5, L"hr == ((HRESULT)0L)"), asserts.Expressions(L"Graph"));
#endif
}

TEST_F(GraphWriterTest, VersionStringTreatsAnyNonZeroEnumAsReleaseAnd64Bits) {
    Build("name=W\ntype=2\nos=-1\nnumber=3\ndate=d");
    EXPECT_EQ(L"W [Release 64] v.3 (d)", VersionString());
}

TEST_F(GraphWriterTest, VersionStringNullStringsContributeNothing) {
    Build("name=(null)\ntype=0\nos=0\nnumber=(null)\ndate=(null)");
    EXPECT_EQ(L" [Debug 32] v. ()", VersionString());
}

TEST_F(GraphWriterTest, VersionStringLongerThan511CharactersIsCut) {
    Build("name=" + std::string(600, 'n') + "\nnumber=" + std::string(300, '9'));
    std::wstring text = VersionString();
    EXPECT_EQ(511u, text.size());
    EXPECT_EQ(std::wstring(511, L'n'), text);
}

TEST_F(GraphWriterTest, VersionStringWithoutVersionInterfaceIsSFalseAndNull) {
    Build("hideversion=1");
    fw::ComBstr cbs(L"previous");
    EXPECT_HR(S_FALSE, m_graph.GetVersionString(cbs));
    EXPECT_TRUE(cbs.IsNull());
}

}  // namespace
