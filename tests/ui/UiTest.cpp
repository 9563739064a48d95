#include "UiTest.h"

#include <algorithm>
#include <cwchar>

#include "GraphFiles.h"
#include "TestSupport.h"

namespace ui {
namespace {

std::string WriterFilter(const std::string& sinkClause, const std::vector<std::string>& config,
                         const std::wstring& journal) {
    std::string text = "filter 0002 \"Lathmere writer\" writer" + sinkClause + "\n";
    text += "data journal=" + test::Narrow(journal) + "\n";
    for (const std::string& line : config) text += "data " + line + "\n";
    return text;
}

}  // namespace

void UiTest::SetUp() {
    m_dir = test::MakeTempDir(L"ui");
    std::string error;
    ASSERT_TRUE(m_app.Start(&error)) << error;
}

void UiTest::TearDown() {
    if (!HasFailure()) CloseAndExpectCleanExit();
    if (HasFailure()) {
        m_app.Kill();
        return;  // the folder stays, for a look at the graphs and the journal
    }
    RemoveFolder();
}

void UiTest::CloseAndExpectCleanExit() {
    if (m_app.IsRunning()) {
        const HWND hWndBox = m_app.OpenBox();
        EXPECT_EQ(nullptr, hWndBox) << "the test left a message box open";
        if (hWndBox) return;
        m_app.PressCloseBox();
    }
    ExpectCleanExit();
}

void UiTest::ExpectCleanExit() {
    DWORD dwExitCode = 0xFFFFFFFF;
    ASSERT_TRUE(m_app.WaitForExit(&dwExitCode)) << "the program still runs";
    EXPECT_EQ(0u, dwExitCode);
}

// The folder holds only files (graphs, journal, sink).
void UiTest::RemoveFolder() {
    WIN32_FIND_DATAW data;
    HANDLE hFind = ::FindFirstFileW((m_dir + L"\\*").c_str(), &data);
    if (hFind != INVALID_HANDLE_VALUE) {
        do {
            if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                ::DeleteFileW((m_dir + L"\\" + data.cFileName).c_str());
        } while (::FindNextFileW(hFind, &data));
        ::FindClose(hFind);
    }
    ::RemoveDirectoryW(m_dir.c_str());
}

std::wstring UiTest::WriterGraph(const std::wstring& name, const std::vector<std::string>& config) {
    return test::WriteGraphFile(m_dir, name, WriterFilter("", config, JournalPath()) + "clock 0000\n");
}

std::wstring UiTest::SourceAndWriterGraph(const std::wstring& name, const std::vector<std::string>& config) {
    std::string description = "filter 0001 \"Tavrel\" tavrel\n";
    description += WriterFilter(" sink \"" + test::Narrow(SinkPath()) + "\"", config, JournalPath());
    description += "connect 0001 \"Out\" 0002 \"In\" stream null 1 0 65536 none\n";
    description += "clock 0000\n";
    return test::WriteGraphFile(m_dir, name, description);
}

std::wstring UiTest::GraphWithoutWriter(const std::wstring& name) {
    return test::WriteGraphFile(m_dir, name, "filter 0001 \"Tavrel\" tavrel\nclock 0000\n");
}

// Read with the sharing the writer allows, since the program may be appending to it.
std::vector<std::string> UiTest::Journal() const {
    return ReadLines(JournalPath());
}

std::vector<std::string> UiTest::JournalSince(size_t cSkip) const {
    std::vector<std::string> lines = Journal();
    lines.erase(lines.begin(), lines.begin() + std::min(cSkip, lines.size()));
    return lines;
}

void UiTest::Build(const std::wstring& path) {
    m_app.SetText(kFile, path);
    m_app.Click(kBuildGraph);
    ASSERT_TRUE(m_app.Sync());
}

BoxContent UiTest::TakeBox() {
    HWND hWndBox = m_app.WaitForBox();
    if (!hWndBox) return BoxContent();
    BoxContent content = ReadBox(hWndBox);
    EXPECT_TRUE(PressOk(hWndBox));
    return content;
}

bool UiTest::NoBoxAfterSync() {
    return m_app.Sync() && m_app.OpenBox() == nullptr;
}

void UiTest::PlayUntilSomethingIsWritten(const std::vector<std::string>& config) {
    ASSERT_NO_FATAL_FAILURE(Build(SourceAndWriterGraph(L"stream.grf", config)));
    ASSERT_EQ(L"0.000 MBytes", m_app.Text(kWritten));
    m_app.Click(kPlay);
    ASSERT_TRUE(NoBoxAfterSync());
    ASSERT_TRUE(WaitUntil([this] { return WrittenThousandths() > 0; })) << test::Narrow(m_app.Text(kWritten));
}

long long UiTest::WrittenThousandths() const {
    unsigned nWhole = 0, nFraction = 0;
    wchar_t szUnit[16] = {};
    const std::wstring text = m_app.Text(kWritten);
    if (swscanf(text.c_str(), L"%u.%3u %15ls", &nWhole, &nFraction, szUnit) != 3) return -1;
    wchar_t szRead[64];
    swprintf(szRead, ARRAYSIZE(szRead), L"%u.%03u %ls", nWhole, nFraction, szUnit);
    if (std::wstring(szUnit) != L"MBytes" || szRead != text) return -1;
    return nWhole * 1000LL + nFraction;
}

std::vector<std::string> ReadLines(const std::wstring& path) {
    std::vector<std::string> lines;
    HANDLE hFile = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
    if (hFile == INVALID_HANDLE_VALUE) return lines;
    std::string text;
    char buffer[4096];
    DWORD cbRead = 0;
    while (::ReadFile(hFile, buffer, sizeof(buffer), &cbRead, nullptr) && cbRead) text.append(buffer, cbRead);
    ::CloseHandle(hFile);
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

}  // namespace ui
