#include "MainWindow.h"

#include <wchar.h>

#include "ComPtr.h"
#include "GraphEditResources.h"
#include "GraphView.h"
#include "StateFile.h"

namespace ge {
namespace {

const wchar_t kClassName[] = L"LathmereTestbedGraphEdit";
const wchar_t kTitle[] = L"GraphEdit (test bed)";
const UINT_PTR kShowTimer = 1;

std::wstring Hex8(DWORD dw) {
    wchar_t sz[16];
    _snwprintf(sz, 16, L"%08x", static_cast<unsigned>(dw));
    return sz;
}

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
        OnCommand(LOWORD(wParam));  // menu, accelerator (high word 1) and posted commands alike
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

void CMainWindow::OnCommand(UINT uId) {
    if (uId == IDM_CONNECT_REMOTE) {
        if (!m_dialog.Open(m_hInstance, m_hWnd)) AppendState(L"dialog-failed");
    } else if (uId == IDM_EXIT) {
        ::DestroyWindow(m_hWnd);
    }
}

void CMainWindow::OnTimer(UINT_PTR uId) {
    if (uId != kShowTimer) return;
    ::KillTimer(m_hWnd, kShowTimer);
    ::ShowWindow(m_hWnd, m_nCmdShow);
    AppendState(L"shown");
}

void CMainWindow::OnPaint() {
    PAINTSTRUCT ps;
    HDC hDC = ::BeginPaint(m_hWnd, &ps);
    PaintGraph(hDC, m_heading, m_model);
    ::EndPaint(m_hWnd, &ps);
}

// Reads the chosen graph through the running object table. Each call below goes to the
// publishing process and waits for its thread to serve it; this thread keeps dispatching
// messages meanwhile (COM's modal loop of a single-threaded apartment).
void CMainWindow::ConnectTo(const CPublishedGraph& graph) {
    m_model.filters.clear();
    const std::wstring who = L"pid " + Hex8(graph.dwProcessId) + L" (" + graph.exeName + L")";
    fw::ComPtr<IFilterGraph> spGraph;
    HRESULT hr = BindToPublishedGraph(graph.spMoniker, &spGraph);
    if (FAILED(hr)) return ShowFailure(L"Could not bind to the graph of " + who, hr);
    CGraphModel model;
    hr = ReadGraph(spGraph, model);
    spGraph.Release();  // nothing of the other process's graph is kept
    if (FAILED(hr)) return ShowFailure(L"Could not read the graph of " + who, hr);

    m_model = model;
    m_heading = L"Graph of " + who + L": " + std::to_wstring(model.filters.size()) + L" filter(s), " +
                std::to_wstring(model.ConnectionCount()) + L" connection(s)";
    ::SetWindowTextW(m_hWnd, (std::wstring(kTitle) + L" - " + who).c_str());
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
    AppendState(L"connected pid=" + Hex8(graph.dwProcessId) + L" graph=" + Hex8(graph.dwGraph) +
                L" filters=" + std::to_wstring(model.filters.size()) + L" connections=" +
                std::to_wstring(model.ConnectionCount()) + L" names=" + JoinNames(model));
    AppendConnections(model);
}

void CMainWindow::ShowFailure(const std::wstring& what, HRESULT hr) {
    wchar_t szCode[16];
    _snwprintf(szCode, 16, L"0x%08X", static_cast<unsigned>(hr));
    m_heading = what + L": error " + szCode;
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
    AppendState(std::wstring(L"connect-failed hr=") + szCode + L" " + what);
}

}  // namespace ge
