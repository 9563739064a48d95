// The fixture of the UI tests: one LathmereTest.exe per test, a folder for the test's graph
// files, the writer's journal and sink, and the steps most tests share.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DialogDriver.h"
#include "ExpectedText.h"

namespace ui {

// Control ids of the dialog (the program's resource.h).
enum ControlId {
    kLoad = 201, kFile = 202, kSharedAccess = 203, kMdatMode = 204, kInterleaving = 205, kInterleavingSpin = 206,
    kLongDur = 207, kNonDrop = 208, kSaveBreaksOnly = 209, kBuildGraph = 210, kShowGraph = 211, kWritten = 212,
    kPlay = 220, kPause = 221, kStop = 222
};
inline constexpr int kCheckBoxes[] = {kSharedAccess, kMdatMode, kLongDur, kNonDrop, kSaveBreaksOnly};

// A writer configuration with every option set.
inline const std::vector<std::string> kAllSet = {"sharedaccess=1",   "mdatmode=1", "longdur=1",
                                                 "interleaving=750", "nondrop=1",  "savebreaksonly=1"};

// The lines of a text file another process appends to (LF-ended; a last line without LF is left out).
std::vector<std::string> ReadLines(const std::wstring& path);

class UiTest : public ::testing::Test {
protected:
    void SetUp() override;
    // A test that failed leaves its process killed and its folder in place; one that passed
    // closes the program as a user would (unless it already ended), expects exit code 0 either
    // way (a crash after the test's last check fails the test too) and removes its folder.
    void TearDown() override;

    // Graph files in the test's folder. The writer's lines are "key=value" configuration; a
    // journal line pointing at JournalPath() is always added.
    std::wstring WriterGraph(const std::wstring& name, const std::vector<std::string>& config);
    std::wstring SourceAndWriterGraph(const std::wstring& name, const std::vector<std::string>& config);
    std::wstring GraphWithoutWriter(const std::wstring& name);
    std::wstring SinkPath() const { return m_dir + L"\\sink.mp4"; }
    std::wstring JournalPath() const { return m_dir + L"\\journal.txt"; }
    // The writer's journal, one call a line (e.g. "SetInterleaving 5000 -> 0x00000000").
    std::vector<std::string> Journal() const;
    // The journal lines after the first cSkip ones.
    std::vector<std::string> JournalSince(size_t cSkip) const;

    // Types the path into the file edit, clicks "Build graph" and waits for the handler.
    void Build(const std::wstring& path);
    // Waits for the program's message box, reads it and presses OK; an empty content when no
    // box came.
    BoxContent TakeBox();
    // True when the dialog has handled everything posted to it and shows no box.
    bool NoBoxAfterSync();
    // Waits for the program to end and expects exit code 0.
    void ExpectCleanExit();

    // Builds a source feeding the writer (configured as given), plays and waits until the
    // read-out shows something written.
    void PlayUntilSomethingIsWritten(const std::vector<std::string>& config);
    // The read-out in thousandths of a megabyte; -1 when it is not of the form "%u.%03u MBytes".
    long long WrittenThousandths() const;

    DialogDriver m_app;
    std::wstring m_dir;

private:
    void CloseAndExpectCleanExit();
    void RemoveFolder();
};

}  // namespace ui
