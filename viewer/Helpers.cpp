#include "Helpers.h"

#include <stdio.h>

#include "ComPtr.h"
#include "Debug.h"

FW_ASSERT_SOURCE(L"Helpers");

CGraphEdit::CGraphEdit() : m_dwCookie(0), m_rgPI(), m_hWndGraphEdit(nullptr), m_hWndListBox(nullptr) {}

CGraphEdit::~CGraphEdit() { Close(); }

void CGraphEdit::Close() {
    RemoveFromRot(m_dwCookie);
    m_dwCookie = 0;
    m_hWndListBox = nullptr;
    m_hWndGraphEdit = nullptr;
    UnloadGraphEdit();
}

void CGraphEdit::UnloadGraphEdit() {
    if (m_rgPI.hThread) {
        // GraphEdit ends its message loop on WM_QUIT; one that ignores it runs on, untracked.
        ::PostThreadMessageW(m_rgPI.dwThreadId, WM_QUIT, 0, 0);
        ::WaitForSingleObject(m_rgPI.hThread, kQuitWaitMs);
        ::CloseHandle(m_rgPI.hThread);
    }
    if (m_rgPI.hProcess) ::CloseHandle(m_rgPI.hProcess);
    ZeroMemory(&m_rgPI, sizeof(m_rgPI));
}

void CGraphEdit::FormatCookieName(const void* pGraph, DWORD dwProcessId, wchar_t (&szCookieName)[64]) {
    // Only the low 32 bits of the pointer appear: GraphEdit's list shows the same field.
    DWORD dwGraph = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(pGraph));
    _snwprintf(szCookieName, 64, L"FilterGraph %08x pid %08x", static_cast<unsigned>(dwGraph),
               static_cast<unsigned>(dwProcessId));
    szCookieName[63] = 0;
}

HRESULT CGraphEdit::AddToRot(IUnknown* pGraph, DWORD* pdwCookie) {
    if (!pGraph) {
        FW_ASSERT(pGraph != 0);
        return E_INVALIDARG;
    }
    if (!pdwCookie) {
        FW_ASSERT(pdwCookie != 0);
        return E_POINTER;
    }
    *pdwCookie = 0;

    fw::ComPtr<IRunningObjectTable> spROT;
    HRESULT hr = ::GetRunningObjectTable(0, &spROT);
    if (hr != S_OK) return hr;

    wchar_t szCookieName[64];
    FormatCookieName(pGraph, ::GetCurrentProcessId(), szCookieName);

    fw::ComPtr<IMoniker> spMoniker;
    hr = ::CreateItemMoniker(L"!", szCookieName, &spMoniker);
    if (FAILED(hr)) return hr;

    return spROT->Register(0, pGraph, spMoniker, pdwCookie);
}

void CGraphEdit::RemoveFromRot(DWORD dwCookie) {
    if (dwCookie == 0) return;
    fw::ComPtr<IRunningObjectTable> spROT;
    if (::GetRunningObjectTable(0, &spROT) != S_OK) return;
    spROT->Revoke(dwCookie);
}
