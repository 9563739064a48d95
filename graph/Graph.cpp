#include "Graph.h"

#include <wchar.h>

#include "Debug.h"

FW_ASSERT_SOURCE(L"Graph");

namespace {

// Both the compound file and its stream: read only, no other opener allowed.
const DWORD kGrfOpenMode = STGM_READ | STGM_SHARE_EXCLUSIVE;
const wchar_t kGraphStreamName[] = L"ActiveMovieGraph";

bool HasGrfExtension(const wchar_t* pszName) {
    size_t cch = wcslen(pszName);
    return cch >= 4 && _wcsicmp(pszName + cch - 4, L".grf") == 0;
}

// Appends as much of psz as fits; the buffer always stays terminated.
template <size_t N>
void AppendBounded(wchar_t (&sz)[N], const wchar_t* psz) {
    size_t cch = wcslen(sz);
    if (!psz) return;
    while (*psz && cch + 1 < N) sz[cch++] = *psz++;
    sz[cch] = 0;
}

}  // namespace

// ---- Construction and teardown ---------------------------------------------------------

HRESULT CGraph::BuildGraph(const wchar_t* pszName) {
    if (!pszName) {
        FW_ASSERT(pszName != 0);
        return E_INVALIDARG;
    }
    Clear();

    if (!HasGrfExtension(pszName)) {
        FW_ASSERT_FAILED(L"CGraph::BuildGraph(): file is not .grf file");
        return E_INVALIDARG;
    }

    HRESULT hr = m_spGraph.CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER);
    if (hr != S_OK) {
        FW_ASSERT_FAILED(L"CGraph::BuildGraph(): m_spGraph.CoCreateInstance() FAILED");
        m_spGraph.Release();  // a non-S_OK success must not leave a graph behind
        return hr;
    }

    hr = BuildFromGRFFile(pszName);
    if (hr != S_OK) return hr;

    hr = FindWriter(&m_spWriter);
    if (hr != S_OK) return hr;
    return S_OK;
}

HRESULT CGraph::BuildFromGRFFile(const wchar_t* pszFile) {
    FW_ASSERT(m_spGraph != 0);
    FW_ASSERT(pszFile != 0);

    fw::ComQIPtr<IPersistStream> spPersistStream(m_spGraph);
    FW_ASSERT(spPersistStream != 0);
    if (!spPersistStream) return E_NOINTERFACE;

    fw::ComPtr<IStorage> spStorage;
    HRESULT hr = ::StgOpenStorage(pszFile, nullptr, kGrfOpenMode, nullptr, 0, &spStorage);
    if (hr != S_OK) {
        FW_ASSERT_FAILED(L"CGraph::BuildFromGRFFile(): Can't open .grf file");
        return hr;
    }

    fw::ComPtr<IStream> spStream;
    hr = spStorage->OpenStream(kGraphStreamName, nullptr, kGrfOpenMode, 0, &spStream);
    if (hr != S_OK) {
        FW_ASSERT_FAILED(L"CGraph::BuildFromGRFFile(): Invalid .grf file");
        return hr;
    }

    hr = spPersistStream->Load(spStream);
    if (FAILED(hr)) {
        FW_ASSERT_FAILED(L"CGraph::BuildFromGRFFile(): Can't load data from .grf file");
        return hr;
    }
    return S_OK;
}

HRESULT CGraph::FindWriter(IWriterControl** ppWriter) {
    FW_ASSERT(m_spGraph != 0);
    if (!m_spGraph) return E_INVALIDARG;
    FW_ASSERT(ppWriter != 0);
    if (!ppWriter) return E_POINTER;
    // The slot must arrive empty: what is found there is overwritten, not released.
    FW_ASSERT(*ppWriter == 0);
    *ppWriter = nullptr;

    fw::ComPtr<IEnumFilters> spEnumFilters;
    HRESULT hr = m_spGraph->EnumFilters(&spEnumFilters);
    if (hr != S_OK) {
        FW_ASSERT_FAILED(L"CGraph::FindWriter(): m_spGraph->EnumFilters() FAILED");
        return hr;
    }

    ULONG cFetched = 0;
    while (hr == S_OK) {
        fw::ComPtr<IBaseFilter> spFilter;
        hr = spEnumFilters->Next(1, &spFilter, &cFetched);
        if (hr == S_FALSE) break;
        if (hr != S_OK) {
            FW_ASSERT_FAILED(L"CGraph::FindWriter(): spEnumFilters->Next() FAILED");
            break;
        }
        FW_ASSERT(cFetched == 1);

        CLSID clsid = GUID_NULL;
        hr = spFilter->GetClassID(&clsid);
        if (hr != S_OK) {
            FW_ASSERT_FAILED(L"CGraph::FindWriter(): spFilter->GetClassID() FAILED");
            break;
        }
        if (clsid == CLSID_WriterFilter) {
            // A writer without IWriterControl still counts as found, with no interface held.
            spFilter->QueryInterface(IID_IWriterControl, reinterpret_cast<void**>(ppWriter));
            FW_ASSERT(*ppWriter != 0);
            hr = S_OK;
            break;
        }
    }
    return hr;
}

void CGraph::Clear() {
    if (m_spGraph) {
        // No Part of the program registers a notification window; make sure none is left.
        fw::ComQIPtr<IMediaEventEx> spMediaEventEx(m_spGraph);
        FW_ASSERT(spMediaEventEx != 0);
        if (spMediaEventEx) spMediaEventEx->SetNotifyWindow(0, 0, 0);
    }
    m_GraphEdit.Close();
    // The graph is stopped before it is let go. Our reference need not be the last: a viewer
    // that ended without letting go (crashed, or ended from the task manager) leaves its
    // references with COM, and the graph would run on in this process, its writer appending
    // to a file that is never finished and that the next run of the same graph cannot open.
    if (m_spGraph) {
        // Unlike Stop, nothing is asserted or reported: a graph without IMediaControl goes as it is.
        fw::ComQIPtr<IMediaControl> spMediaControl(m_spGraph);
        if (spMediaControl) spMediaControl->Stop();
    }
    // The writer is one of the graph's filters: its reference goes first.
    m_spWriter.Release();
    m_spGraph.Release();
}

// ---- The writer's options, count and identity -----------------------------------------

template <class Arg>
HRESULT CGraph::CallWriter(HRESULT (STDMETHODCALLTYPE IWriterControl::*pfnMethod)(Arg), Arg arg) {
    FW_ASSERT(m_spWriter != 0);
    if (!m_spWriter) return E_FAIL;
    return (m_spWriter.Get()->*pfnMethod)(arg);
}

HRESULT CGraph::SetSharedAccess(BOOL b) { return CallWriter(&IWriterControl::SetSharedAccess, b); }
HRESULT CGraph::GetSharedAccess(BOOL* pb) { return CallWriter(&IWriterControl::GetSharedAccess, pb); }
HRESULT CGraph::SetMdatMode(BOOL b) { return CallWriter(&IWriterControl::SetMdatMode, b); }
HRESULT CGraph::GetMdatMode(BOOL* pb) { return CallWriter(&IWriterControl::GetMdatMode, pb); }
HRESULT CGraph::SetLongDur(BOOL b) { return CallWriter(&IWriterControl::SetLongDur, b); }
HRESULT CGraph::GetLongDur(BOOL* pb) { return CallWriter(&IWriterControl::GetLongDur, pb); }
HRESULT CGraph::SetInterleaving(DWORD dw) { return CallWriter(&IWriterControl::SetInterleaving, dw); }
HRESULT CGraph::GetInterleaving(DWORD* pdw) { return CallWriter(&IWriterControl::GetInterleaving, pdw); }
HRESULT CGraph::SetNonDrop(BOOL b) { return CallWriter(&IWriterControl::SetNonDrop, b); }
HRESULT CGraph::GetNonDrop(BOOL* pb) { return CallWriter(&IWriterControl::GetNonDrop, pb); }
HRESULT CGraph::SetSaveBreaksOnly(BOOL b) { return CallWriter(&IWriterControl::SetSaveBreaksOnly, b); }
HRESULT CGraph::GetSaveBreaksOnly(BOOL* pb) { return CallWriter(&IWriterControl::GetSaveBreaksOnly, pb); }

LONGLONG CGraph::GetWritten() {
    FW_ASSERT(m_spWriter != 0);
    if (!m_spWriter) return 0;
    LONGLONG llWritten = 0;
    if (m_spWriter->GetWritten(&llWritten) != S_OK) return 0;
    return llWritten;
}

HRESULT CGraph::GetVersionString(fw::ComBstr& cbsVersion) {
    cbsVersion.Free();
    if (!m_spWriter) return S_FALSE;
    fw::ComQIPtr<IWriterVersion> spVersion(m_spWriter);
    if (!spVersion) return S_FALSE;

    // A failed identity call is reported and otherwise ignored: its variable is used as left.
    int eType = 0;
    HRESULT hr = spVersion->GetType(&eType);
    FW_ASSERT_S_OK(hr);
    int eOS = 0;
    hr = spVersion->GetOS(&eOS);
    FW_ASSERT_S_OK(hr);
    fw::ComBstr cbsName, cbsNumber, cbsDateTime;
    hr = spVersion->GetName(&cbsName);
    FW_ASSERT_S_OK(hr);
    hr = spVersion->GetNumber(&cbsNumber);
    FW_ASSERT_S_OK(hr);
    hr = spVersion->GetDateTime(&cbsDateTime);
    FW_ASSERT_S_OK(hr);

    // 511 characters at most; a longer identity is cut at the end.
    wchar_t sz[512] = L"";
    AppendBounded(sz, cbsName.Text());
    AppendBounded(sz, eType == 0 ? L" [Debug" : L" [Release");
    AppendBounded(sz, eOS == 0 ? L" 32]" : L" 64]");
    AppendBounded(sz, L" v.");
    AppendBounded(sz, cbsNumber.Text());
    AppendBounded(sz, L" (");
    AppendBounded(sz, cbsDateTime.Text());
    AppendBounded(sz, L")");
    cbsVersion = sz;
    return S_OK;
}

// ---- Playback and position queries ------------------------------------------------------

HRESULT CGraph::ChangeState(HRESULT (STDMETHODCALLTYPE IMediaControl::*pfnMethod)()) {
    if (!m_spGraph) return E_FAIL;
    fw::ComQIPtr<IMediaControl> spMediaControl(m_spGraph);
    FW_ASSERT(spMediaControl != 0);
    if (!spMediaControl) return E_FAIL;
    return (spMediaControl.Get()->*pfnMethod)();
}

HRESULT CGraph::Run() {
    FW_ASSERT(m_spGraph != 0);
    return ChangeState(&IMediaControl::Run);
}

HRESULT CGraph::Pause() {
    FW_ASSERT(m_spGraph != 0);
    return ChangeState(&IMediaControl::Pause);
}

HRESULT CGraph::Stop() { return ChangeState(&IMediaControl::Stop); }

HRESULT CGraph::GetAvailable(LONGLONG* pllEarliest, LONGLONG* pllLatest) {
    if (!pllEarliest) {
        FW_ASSERT(pllEarliest != 0);
        return E_POINTER;
    }
    if (!pllLatest) {
        FW_ASSERT(pllLatest != 0);
        return E_POINTER;
    }
    *pllEarliest = 0;
    *pllLatest = 0;
    if (!m_spGraph) return E_FAIL;
    fw::ComQIPtr<IMediaSeeking> spMediaSeeking(m_spGraph);
    FW_ASSERT(spMediaSeeking != 0);
    if (!spMediaSeeking) return E_FAIL;
    HRESULT hr = spMediaSeeking->GetAvailable(pllEarliest, pllLatest);
    FW_ASSERT_S_OK(hr);
    return hr;
}

HRESULT CGraph::GetDuration(LONGLONG* pllDuration) {
    if (!pllDuration) {
        FW_ASSERT(pllDuration != 0);
        return E_POINTER;
    }
    *pllDuration = 0;
    if (!m_spGraph) return E_FAIL;
    fw::ComQIPtr<IMediaSeeking> spMediaSeeking(m_spGraph);
    FW_ASSERT(spMediaSeeking != 0);
    if (!spMediaSeeking) return E_FAIL;
    return spMediaSeeking->GetDuration(pllDuration);
}

HRESULT CGraph::GetCurrentPosition(LONGLONG* pllPosition) {
    if (!pllPosition) {
        FW_ASSERT(pllPosition != 0);
        return E_POINTER;
    }
    *pllPosition = 0;
    if (!m_spGraph) return E_FAIL;
    fw::ComQIPtr<IMediaSeeking> spMediaSeeking(m_spGraph);
    FW_ASSERT(spMediaSeeking != 0);
    if (!spMediaSeeking) return E_FAIL;
    HRESULT hr = spMediaSeeking->GetCurrentPosition(pllPosition);
    FW_ASSERT_S_OK(hr);
    return hr;
}

// ---- Graph viewer -----------------------------------------------------------------------

HRESULT CGraph::ShowGraph() {
    m_GraphEdit.Close();
    if (!m_spGraph) return E_FAIL;
    return m_GraphEdit.ShowGraph(m_spGraph);
}
