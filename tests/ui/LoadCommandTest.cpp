// "Load...": the platform's open-file dialog, driven as a user would, and the file edit.
//
// Wine 8: its open-file dialog checks that the file exists before it appends the default
// extension, so a name typed without ".grf" is refused there, where Windows appends ".grf" and
// takes the file. That belongs to the platform's dialog, not to the program, and is not tested.
#include <windows.h>

#include "UiTest.h"

namespace ui {
namespace {

const wchar_t kFileDialogTitle[] = L"Select GRF file";

class UiLoadTest : public UiTest {
protected:
    // Clicks "Load..." and waits for the open-file dialog.
    HWND OpenFileDialog() {
        m_app.Click(kLoad);
        return m_app.WaitForWindow(kFileDialogTitle);
    }
    // Presses a button of the open-file dialog and waits until it and the handler are done.
    void Finish(HWND hWndFileDialog, int nId) {
        PressFileDialogButton(hWndFileDialog, nId);
        EXPECT_TRUE(WaitUntil([hWndFileDialog] { return !::IsWindow(hWndFileDialog); }));
        EXPECT_TRUE(NoBoxAfterSync());
    }
};

TEST_F(UiLoadTest, ChosenFileAppearsInTheFileEdit) {
    const std::wstring path = WriterGraph(L"chosen.grf", {});
    HWND hWndFileDialog = OpenFileDialog();
    ASSERT_NE(nullptr, hWndFileDialog);
    ASSERT_TRUE(TypeFileName(hWndFileDialog, path));
    Finish(hWndFileDialog, IDOK);
    EXPECT_EQ(path, m_app.Text(kFile));
}

TEST_F(UiLoadTest, ChosenFileIsWhatTheNextBuildUses) {
    const std::wstring path = WriterGraph(L"chosen.grf", {"name=Chosen"});
    HWND hWndFileDialog = OpenFileDialog();
    ASSERT_NE(nullptr, hWndFileDialog);
    ASSERT_TRUE(TypeFileName(hWndFileDialog, path));
    Finish(hWndFileDialog, IDOK);
    m_app.Click(kBuildGraph);
    EXPECT_TRUE(NoBoxAfterSync());
    EXPECT_EQ(L"Test for Chosen", m_app.Caption().substr(0, 15));
}

// "Load..." takes any existing file; only the next "Build graph" looks at the extension.
TEST_F(UiLoadTest, FileNotEndingInGrfIsTakenAndRefusedByTheNextBuild) {
    const std::wstring path = m_dir + L"\\notes.txt";
    HANDLE hFile = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hFile);
    ::CloseHandle(hFile);
    HWND hWndFileDialog = OpenFileDialog();
    ASSERT_NE(nullptr, hWndFileDialog);
    ASSERT_TRUE(TypeFileName(hWndFileDialog, path));
    Finish(hWndFileDialog, IDOK);
    EXPECT_EQ(path, m_app.Text(kFile));
    m_app.Click(kBuildGraph);
    EXPECT_EQ(ErrorBox(L"Can't build graph", E_INVALIDARG), TakeBox());
}

// The file edit may hold more than the 259 characters the program keeps of it. "Load..."
// copies what it kept into the open-file dialog; had it taken that copy back after a cancel,
// the edit would show only the kept characters.
TEST_F(UiLoadTest, CancelLeavesThePathUnchanged) {
    const std::wstring typed = m_dir + L"\\" + std::wstring(300, L'a') + L".grf";
    m_app.SetText(kFile, typed);
    HWND hWndFileDialog = OpenFileDialog();
    ASSERT_NE(nullptr, hWndFileDialog);
    ASSERT_TRUE(TypeFileName(hWndFileDialog, WriterGraph(L"not-taken.grf", {})));
    Finish(hWndFileDialog, IDCANCEL);
    EXPECT_EQ(typed, m_app.Text(kFile));
}

// The file must exist: the open-file dialog refuses the name with a box of its own and stays.
TEST_F(UiLoadTest, NameOfNoFileIsRefusedByTheFileDialog) {
    const std::wstring before = m_app.Text(kFile);
    HWND hWndFileDialog = OpenFileDialog();
    ASSERT_NE(nullptr, hWndFileDialog);
    ASSERT_TRUE(TypeFileName(hWndFileDialog, m_dir + L"\\missing.grf"));
    PressFileDialogButton(hWndFileDialog, IDOK);
    HWND hWndRefusal = WaitForOwnedDialog(hWndFileDialog);
    ASSERT_NE(nullptr, hWndRefusal);
    EXPECT_TRUE(PressOk(hWndRefusal));
    EXPECT_TRUE(::IsWindow(hWndFileDialog));
    Finish(hWndFileDialog, IDCANCEL);
    EXPECT_EQ(before, m_app.Text(kFile));
}

}  // namespace
}  // namespace ui
