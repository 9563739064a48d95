#include "MainWindow.h"

#include "ComPtr.h"
#include "GraphEditResources.h"
#include "GraphView.h"
#include "StateFile.h"

namespace ge {
namespace {

const wchar_t kClassName[] = L"LathmereTestbedGraphEdit";
const wchar_t kTitle[] = L"GraphEdit (test bed)";
const UINT_PTR kShowTimer = 1;
const UINT_PTR kRefreshTimer = 2;
const UINT_PTR kPollTimer = 3;
const UINT_PTR kStopTimer = 4;
const UINT_PTR kCrashTimer = 5;
const UINT kCrashExitCode = 4;

// "A|B|C": the filter names, for the state file.
std::wstring JoinNames(const CGraphModel& model) {
    std::wstring names;
    for (const CFilterModel& filter : model.filters) names += (names.empty() ? L"" : L"|") + filter.name;
    return names;
}

void AppendConnections(const CGraphModel& model) {
    for (const CFilterModel& filter : model.filters)
        for (const CPinModel& pin : filter.pins)
            if (pin.eDirection == PINDIR_OUTPUT && !pin.peerFilter.empty())
                AppendState(L"connection " + filter.name + L"." + pin.name + L" -> " + pin.peerFilter + L"." +
                            pin.peerPin);
}

}  // namespace

CMainWindow::CMainWindow(const CBehaviour& behaviour)
    : m_behaviour(behaviour),
      m_dialog(behaviour, [this](const CPublishedGraph& graph) { ConnectTo(graph); }),
      m_heading(L"No graph. Use File, Connect to remote graph... to show a graph of another process.") {}

bool CMainWindow::Create(HINSTANCE hInstance, int nCmdShow) {
    m_hInstance = hInstance;
    m_nCmdShow = nCmdShow;
    WNDCLASSEXW wc = {sizeof(wc)};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = hInstance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kClassName;
    if (!::RegisterClassExW(&wc)) return false;

    DWORD dwStyle = WS_OVERLAPPEDWINDOW;
    if (m_behaviour.bNoFrame) dwStyle &= ~WS_THICKFRAME;
    HMENU hMenu = ::LoadMenuW(hInstance, MAKEINTRESOURCEW(IDM_MAIN));
    if (!::CreateWindowExW(0, kClassName, kTitle, dwStyle, CW_USEDEFAULT, CW_USEDEFAULT, 720, 420, nullptr, hMenu,
                           hInstance, this))
        return false;
    if (m_behaviour.bHidden) return true;
    if (m_behaviour.dwShowAfterMs != 0) {
        ::SetTimer(m_hWnd, kShowTimer, m_behaviour.dwShowAfterMs, nullptr);
        return true;
    }
    ::ShowWindow(m_hWnd, nCmdShow);
    ::UpdateWindow(m_hWnd);
    return true;
}

LRESULT CALLBACK CMainWindow::WindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_NCCREATE) {
        auto* pThis = static_cast<CMainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        pThis->m_hWnd = hWnd;
        ::SetWindowLongPtrW(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(pThis));
    }
    auto* pThis = reinterpret_cast<CMainWindow*>(::GetWindowLongPtrW(hWnd, GWLP_USERDATA));
    return pThis ? pThis->HandleMessage(uMsg, wParam, lParam) : ::DefWindowProcW(hWnd, uMsg, wParam, lParam);
}

LRESULT CMainWindow::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    switch (uMsg) {
    case WM_COMMAND:
        OnCommand(wParam, lParam);  // menu, accelerator (high word 1) and posted commands alike
        return 0;
    case WM_TIMER:
        OnTimer(wParam);
        return 0;
    case WM_PAINT:
        OnPaint();
        return 0;
    case WM_DESTROY:
        m_dialog.Close();
        ::PostQuitMessage(0);
        return 0;
    case WM_NCDESTROY:
        ::SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, 0);
        m_hWnd = nullptr;
        break;
    }
    return ::DefWindowProcW(m_hWnd, uMsg, wParam, lParam);
}

void CMainWindow::OnCommand(WPARAM wParam, LPARAM lParam) {
    const UINT uId = LOWORD(wParam);
    if (uId == IDM_CONNECT_REMOTE) AppendStamp(L"command");
    AppendState(L"command wParam=" + Param(wParam) + L" lParam=" + Param(static_cast<ULONG_PTR>(lParam)));
    if (uId == IDM_CONNECT_REMOTE) {
        if (!m_dialog.Open(m_hInstance, m_hWnd)) AppendState(L"dialog-failed");
    } else if (uId == IDM_EXIT) {
        ::DestroyWindow(m_hWnd);
    }
}

void CMainWindow::OnTimer(UINT_PTR uId) {
    switch (uId) {
    case kShowTimer:
        ::KillTimer(m_hWnd, kShowTimer);
        ::ShowWindow(m_hWnd, m_nCmdShow);
        AppendState(L"shown");
        break;
    case kRefreshTimer:
        Refresh();
        break;
    case kPollTimer:
        ++m_cPolls;
        AppendState(L"poll " + m_live.Poll());
        break;
    case kStopTimer:
        ::KillTimer(m_hWnd, kStopTimer);
        AppendState(L"stop hr=" + Hex(m_live.Stop()));
        break;
    case kCrashTimer:
        // As if ended from the task manager: nothing is let go, nothing more is written.
        AppendState(L"crash");
        ::TerminateProcess(::GetCurrentProcess(), kCrashExitCode);
        break;
    }
}

void CMainWindow::OnPaint() {
    PAINTSTRUCT ps;
    HDC hDC = ::BeginPaint(m_hWnd, &ps);
    PaintGraph(hDC, m_heading, m_live.Model());
    ::EndPaint(m_hWnd, &ps);
}

// Redraws from the live graph. A graph that can no longer be read (its process ended, say)
// stays drawn as last read, and is not asked again.
void CMainWindow::Refresh() {
    const HRESULT hr = m_live.Read();
    if (FAILED(hr)) {
        ::KillTimer(m_hWnd, kRefreshTimer);
        AppendState(L"refresh-failed hr=" + Hex(hr));
        return;
    }
    ++m_cRefreshes;
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
}

void CMainWindow::StartShowTimers() {
    const std::pair<UINT_PTR, DWORD> timers[] = {{kRefreshTimer, m_behaviour.dwRefreshMs},
                                                 {kPollTimer, m_behaviour.dwPollMs},
                                                 {kStopTimer, m_behaviour.dwStopAfterMs},
                                                 {kCrashTimer, m_behaviour.dwCrashAfterMs}};
    for (const auto& timer : timers)
        if (timer.second != 0) ::SetTimer(m_hWnd, timer.first, timer.second, nullptr);
}

void CMainWindow::StopShowTimers() {
    for (UINT_PTR uId : {kRefreshTimer, kPollTimer, kStopTimer, kCrashTimer}) ::KillTimer(m_hWnd, uId);
}

void CMainWindow::ReleaseGraph() {
    if (m_hWnd) StopShowTimers();
    if (!m_live.IsHeld()) return;
    const size_t cFilters = m_live.Model().filters.size();
    const size_t cPins = m_live.Model().PinCount();
    m_live.Release();
    AppendStamp(L"released");
    AppendState(L"released filters=" + std::to_wstring(cFilters) + L" pins=" + std::to_wstring(cPins) +
                L" refreshes=" + std::to_wstring(m_cRefreshes) + L" polls=" + std::to_wstring(m_cPolls));
}

// Reads the chosen graph through the running object table and keeps it, as GraphEdit does,
// until the process lets go on its way out (or at once, with the switch). A graph shown
// before is let go first. Each call below goes to the publishing process and waits for its
// thread to serve it; this thread runs COM's modal loop meanwhile, which dispatches paint and
// sent messages but no timer ticks or commands.
void CMainWindow::ConnectTo(const CPublishedGraph& graph) {
    ReleaseGraph();
    m_cRefreshes = m_cPolls = 0;
    const std::wstring who = L"pid " + Hex8(graph.dwProcessId) + L" (" + graph.exeName + L")";
    AppendStamp(L"bind");
    HRESULT hr = m_live.Bind(graph.spMoniker);
    if (FAILED(hr)) return ShowFailure(L"Could not bind to the graph of " + who, hr);
    AppendState(L"bound pid=" + Hex8(graph.dwProcessId) + L" graph=" + Hex8(graph.dwGraph));
    hr = m_live.Read();
    if (FAILED(hr)) return ShowFailure(L"Could not read the graph of " + who, hr);
    AppendStamp(L"read");

    const CGraphModel& model = m_live.Model();
    m_heading = L"Graph of " + who + L": " + std::to_wstring(model.filters.size()) + L" filter(s), " +
                std::to_wstring(model.ConnectionCount()) + L" connection(s)";
    ::SetWindowTextW(m_hWnd, (std::wstring(kTitle) + L" - " + who).c_str());
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
    AppendState(L"connected pid=" + Hex8(graph.dwProcessId) + L" graph=" + Hex8(graph.dwGraph) +
                L" filters=" + std::to_wstring(model.filters.size()) + L" connections=" +
                std::to_wstring(model.ConnectionCount()) + L" names=" + JoinNames(model));
    AppendConnections(model);
    if (m_behaviour.bReleaseAtOnce) ReleaseGraph();
    else StartShowTimers();
}

void CMainWindow::ShowFailure(const std::wstring& what, HRESULT hr) {
    ReleaseGraph();
    m_heading = what + L": error " + Hex(hr);
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
    AppendState(L"connect-failed hr=" + Hex(hr) + L" " + what);
}

}  // namespace ge
