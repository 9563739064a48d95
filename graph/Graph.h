// CGraph: the program's hold on one DirectShow filter graph built from a GraphEdit .grf file,
// the Lathmere writer found in it, and the viewer bridge that shows it in GraphEdit.
// Every operation runs on the dialog's thread and returns at once.
#pragma once

#include <windows.h>
#include <dshow.h>

#include "ComBstr.h"
#include "ComPtr.h"
#include "Helpers.h"
#include "WriterInterfaces.h"

// mingw-w64's control.h declares IMediaEventEx without its __uuidof binding.
__CRT_UUID_DECL(IMediaEventEx, 0x56A868C0, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70)

class CGraph {
public:
    CGraph() = default;
    ~CGraph() = default;  // m_GraphEdit closes first, then the writer, then the graph go
    CGraph(const CGraph&) = delete;
    CGraph& operator=(const CGraph&) = delete;

    // Construction and teardown.
    HRESULT BuildGraph(const wchar_t* pszName);
    bool IsEmpty() const { return m_spGraph == nullptr; }
    void Clear();

    // The writer's options, passed through unchanged; E_FAIL when no writer is held.
    HRESULT SetSharedAccess(BOOL bSharedAccess);
    HRESULT GetSharedAccess(BOOL* pbSharedAccess);
    HRESULT SetMdatMode(BOOL bMdatMode);
    HRESULT GetMdatMode(BOOL* pbMdatMode);
    HRESULT SetLongDur(BOOL bLongDur);
    HRESULT GetLongDur(BOOL* pbLongDur);
    HRESULT SetInterleaving(DWORD dwInterleavingMs);
    HRESULT GetInterleaving(DWORD* pdwInterleavingMs);
    HRESULT SetNonDrop(BOOL bNonDrop);
    HRESULT GetNonDrop(BOOL* pbNonDrop);
    HRESULT SetSaveBreaksOnly(BOOL bSaveBreaksOnly);
    HRESULT GetSaveBreaksOnly(BOOL* pbSaveBreaksOnly);
    // Bytes the writer has written so far; 0 without a writer or when the writer fails.
    LONGLONG GetWritten();
    // "<name> [Debug|Release 32|64] v.<number> (<date>)"; S_FALSE and null without an identity.
    HRESULT GetVersionString(fw::ComBstr& cbsVersion);

    // Playback and position queries, passed to the graph manager.
    HRESULT Run();
    HRESULT Pause();
    HRESULT Stop();
    HRESULT GetAvailable(LONGLONG* pllEarliest, LONGLONG* pllLatest);
    HRESULT GetDuration(LONGLONG* pllDuration);
    HRESULT GetCurrentPosition(LONGLONG* pllPosition);

    // Shows the graph in GraphEdit; E_FAIL when no graph is held.
    HRESULT ShowGraph();

private:
    HRESULT BuildFromGRFFile(const wchar_t* pszFile);
    HRESULT FindWriter(IWriterControl** ppWriter);
    // The common shape of the twelve option operations.
    template <class Arg>
    HRESULT CallWriter(HRESULT (STDMETHODCALLTYPE IWriterControl::*pfnMethod)(Arg), Arg arg);
    HRESULT ChangeState(HRESULT (STDMETHODCALLTYPE IMediaControl::*pfnMethod)());

    fw::ComPtr<IGraphBuilder> m_spGraph;
    fw::ComPtr<IWriterControl> m_spWriter;
    CGraphEdit m_GraphEdit;
};
