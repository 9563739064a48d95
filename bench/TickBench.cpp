// Timer tick: CMainDialog::UpdateWritten, the read-out refresh every tick of timer 1 runs,
// on the real dialog and its real "Written" control (static text 212).
//
// The dialog is the program's own CMainDialog, compiled in here with the program's resources
// and run modally. A subclass only adds one message, posted from WM_INITDIALOG, whose handler
// builds a graph through the dialog's own "Build graph" command (so the read-out has a writer to
// ask), stops timer 1 so that no tick of its own interleaves, measures, and closes the dialog
// with IDCANCEL. Everything is measured on the dialog's thread, inside its modal loop.
//
// A: UpdateWritten with the text unchanged, against B: one GetDlgItemTextW of the control.
// A: UpdateWritten with a changed text (the control is set to "-" before each call, untimed),
//    against B: GetDlgItemTextW plus SetDlgItemTextW of the same text.
// Allocations per tick: counted with HeapCounter (see HeapCounter.h) around each call.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "GrfFixtures.h"
#include "HeapCounter.h"
#include "MainDialog.h"
#include "Module.h"

namespace {

const double kTargetRatio = 1.2;
const UINT kMeasureMessage = WM_APP + 1;
const UINT_PTR kProgressTimer = 1;
const int kCallsPerBatch = 100;  // unchanged text: one timed batch of calls per round
const int kBatchRounds = 201;
const int kSingleRounds = 2001;  // changed text: each call timed on its own
const int kCountedTicks = 1000;
const wchar_t kExpected[] = L"0.000 MBytes";  // the writer has written nothing: the graph never runs

fw::ExeModule g_module;  // registers the up-down class the template uses, as the program's module does

class CTickBenchDialog : public CMainDialog {
public:
    explicit CTickBenchDialog(const std::wstring& path) : m_path(path) {}

    BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult,
                              DWORD dwMsgMapID) override {
        if (uMsg == kMeasureMessage) {
            Measure();
            ::PostMessageW(hWnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            lResult = 0;
            return TRUE;
        }
        const BOOL bHandled = CMainDialog::ProcessWindowMessage(hWnd, uMsg, wParam, lParam, lResult, dwMsgMapID);
        if (uMsg == WM_INITDIALOG) ::PostMessageW(hWnd, kMeasureMessage, 0, 0);
        return bHandled;
    }

private:
    HWND Written() const { return ::GetDlgItem(m_hWnd, IDC_WRITTEN); }
    std::wstring WrittenText() const {
        wchar_t sz[64] = L"";
        ::GetDlgItemTextW(m_hWnd, IDC_WRITTEN, sz, ARRAYSIZE(sz));
        return sz;
    }

    void BuildGraph();
    void Measure();
    void MeasureUnchanged();
    void MeasureChanged();
    void CountAllocations();

    // The baselines: the platform calls the refresh cannot do without.
    void ReadText() {
        wchar_t szOld[64];
        ::GetDlgItemTextW(m_hWnd, IDC_WRITTEN, szOld, ARRAYSIZE(szOld));
    }
    void ReadAndWriteText() {
        wchar_t szOld[64];
        ::GetDlgItemTextW(m_hWnd, IDC_WRITTEN, szOld, ARRAYSIZE(szOld));
        ::SetDlgItemTextW(m_hWnd, IDC_WRITTEN, kExpected);
    }
    void ChangeText() { ::SetDlgItemTextW(m_hWnd, IDC_WRITTEN, L"-"); }

    std::wstring m_path;
};

// Through the dialog itself: the file edit (EN_CHANGE stores the path) and "Build graph".
void CTickBenchDialog::BuildGraph() {
    ::SetDlgItemTextW(m_hWnd, IDC_FILE, m_path.c_str());
    ::SendMessageW(m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_BUILD_GRAPH, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(m_hWnd, IDC_BUILD_GRAPH)));
    if (!::IsWindowEnabled(::GetDlgItem(m_hWnd, IDC_PLAY)) || WrittenText() != kExpected)
        bench::Fail("tick", "\"Build graph\" did not build the graph (read-out \"%s\")",
                    bench::Narrow(WrittenText()).c_str());
    ::KillTimer(m_hWnd, kProgressTimer);
}

void CTickBenchDialog::MeasureUnchanged() {
    auto runA = [this] {
        return bench::Time([this] {
                   for (int i = 0; i < kCallsPerBatch; ++i) UpdateWritten();
               }) / kCallsPerBatch;
    };
    auto runB = [this] {
        return bench::Time([this] {
                   for (int i = 0; i < kCallsPerBatch; ++i) ReadText();
               }) / kCallsPerBatch;
    };
    // The comparison UpdateWritten makes between the new and the shown text, on its own.
    auto runCompare = [] {
        wchar_t sz[64] = L"0.000 MBytes";
        wchar_t szOld[64] = L"0.000 MBytes";
        volatile int nSink = 0;
        return bench::Time([&] {
                   for (int i = 0; i < kCallsPerBatch; ++i) nSink = nSink + lstrcmpW(sz, szOld);
               }) / kCallsPerBatch;
    };
    const std::vector<bench::Samples> samples = bench::RunInterleaved({runA, runB, runCompare}, kBatchRounds);
    const bench::Pair pair{samples[0], samples[1]};
    bench::ReportRatio("tick.unchanged", "UpdateWritten, text unchanged (per call, batches of 100)",
                       "GetDlgItemTextW of control 212", pair, kTargetRatio);
    char sz[96];
    std::snprintf(sz, sizeof(sz), " of the %.3f us A-B (text comparison)", pair.a.Median() - pair.b.Median());
    bench::ReportInfo("tick.lstrcmpW", bench::Spread(samples[2]) + sz);
}

void CTickBenchDialog::MeasureChanged() {
    auto runA = [this] {
        ChangeText();
        const double us = bench::Time([this] { UpdateWritten(); });
        if (WrittenText() != kExpected) bench::Fail("tick.changed", "UpdateWritten did not write the read-out");
        return us;
    };
    auto runB = [this] {
        ChangeText();
        return bench::Time([this] { ReadAndWriteText(); });
    };
    const bench::Pair pair = bench::RunSideBySide(runA, runB, kSingleRounds);
    bench::ReportRatio("tick.changed", "UpdateWritten, text changed (each call timed)",
                       "GetDlgItemTextW + SetDlgItemTextW of control 212", pair, kTargetRatio);
}

// Allocations per call, the text changed before each call (untimed, uncounted) when bChange;
// pCallers receives the modules that allocated.
template <class Fn>
double AllocationsPerCall(Fn&& fn, bool bChange, HWND hWndWritten, std::string* pCallers) {
    bench::HeapCounter::ForgetCallers();
    long cAllocations = 0;
    for (int i = 0; i < kCountedTicks; ++i) {
        if (bChange) ::SetWindowTextW(hWndWritten, L"-");
        bench::HeapCounter::Start();
        fn();
        cAllocations += bench::HeapCounter::Stop();
    }
    *pCallers = bench::HeapCounter::Callers();
    return static_cast<double>(cAllocations) / kCountedTicks;
}

void CTickBenchDialog::CountAllocations() {
    const int cSlots = bench::HeapCounter::Install();
    char szDetail[160] = "";
    const bool bCounts = cSlots > 0 && bench::HeapCounter::SelfCheck(szDetail, sizeof(szDetail));
    if (!bCounts) bench::Fail("tick.allocations", "the heap counter does not count (%d slots; %s)", cSlots, szDetail);
    bench::Note("heap counter: %d import slots patched; self-check counted %s", cSlots, szDetail);

    // UpdateWritten's own allocations are what it makes beyond the two control calls it cannot
    // do without; what those make inside the platform is shown beside them.
    const HWND hWnd = Written();
    std::string callers[4];
    const double unchangedA = AllocationsPerCall([this] { UpdateWritten(); }, false, hWnd, &callers[0]);
    const double unchangedB = AllocationsPerCall([this] { ReadText(); }, false, hWnd, &callers[1]);
    const double changedA = AllocationsPerCall([this] { UpdateWritten(); }, true, hWnd, &callers[2]);
    const double changedB = AllocationsPerCall([this] { ReadAndWriteText(); }, true, hWnd, &callers[3]);
    bench::Note("per call over %d calls, text unchanged: UpdateWritten %.3f (by %s), GetDlgItemTextW %.3f (by %s)",
                kCountedTicks, unchangedA, callers[0].c_str(), unchangedB, callers[1].c_str());
    bench::Note("per call over %d calls, text changed: UpdateWritten %.3f (by %s), GetDlgItemTextW + "
                "SetDlgItemTextW %.3f (by %s)",
                kCountedTicks, changedA, callers[2].c_str(), changedB, callers[3].c_str());
    const double ownUnchanged = unchangedA - unchangedB;
    const double ownChanged = changedA - changedB;
    char sz[160];
    std::snprintf(sz, sizeof(sz), "own %.3f unchanged, %.3f changed (the control calls: %.0f and %.0f in %s)",
                  ownUnchanged, ownChanged, unchangedB, changedB, callers[3].c_str());
    bench::ReportFigure("tick.allocations", sz, "own 0", ownUnchanged == 0 && ownChanged == 0);
}

void CTickBenchDialog::Measure() {
    BuildGraph();
    const double usClock = bench::Time([] {
                               for (int i = 0; i < 1000; ++i) bench::NowUs();
                           }) / 1000;
    bench::Note("one clock reading costs %.3f us (included in each single-call timing)", usClock);
    MeasureUnchanged();
    MeasureChanged();
    CountAllocations();
}

}  // namespace

int wmain() {
    if (::CoInitialize(nullptr) != S_OK) bench::Fail("tick", "CoInitialize failed");
    const std::wstring path = bench::MakeTempDir(L"tick") + L"\\tick.grf";
    HRESULT hr = bench::WriteGraphFile(path, bench::MakeWriterGraph(2));
    if (FAILED(hr)) bench::Fail("tick", "writing the graph failed, 0x%08X", unsigned(hr));
    {
        // Built once outside the dialog: a graph that fails would leave the dialog in an error box.
        CGraph graph;
        hr = graph.BuildGraph(path.c_str());
        if (hr != S_OK) bench::Fail("tick", "CGraph::BuildGraph of the graph returned 0x%08X", unsigned(hr));
        graph.Clear();
    }
    CTickBenchDialog dlg(path);
    const INT_PTR nResult = dlg.DoModal(nullptr);
    ::CoUninitialize();
    return nResult == IDCANCEL ? 0 : 1;
}
