#include "LiveGraph.h"

#include "PublishedGraphs.h"
#include "StateFile.h"

namespace ge {

HRESULT CLiveGraph::Bind(IMoniker* pMoniker) {
    Release();
    m_model.filters.clear();
    return BindToPublishedGraph(pMoniker, &m_spGraph);
}

HRESULT CLiveGraph::Read() {
    if (!m_spGraph) return E_UNEXPECTED;
    CGraphModel model;
    const HRESULT hr = ReadGraph(m_spGraph, model);
    if (FAILED(hr)) return hr;
    m_model = std::move(model);  // the old filters and pins are let go here
    return S_OK;
}

// The control interfaces are asked for once, when first needed, and held with the graph.
HRESULT CLiveGraph::Control() {
    if (!m_spGraph) return E_UNEXPECTED;
    if (!m_spControl) {
        const HRESULT hr = m_spGraph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&m_spControl));
        if (FAILED(hr)) return hr;
    }
    if (!m_spSeeking) {
        const HRESULT hr = m_spGraph->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&m_spSeeking));
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

std::wstring CLiveGraph::Poll() {
    HRESULT hr = Control();
    if (FAILED(hr)) return L"failed hr=" + Hex(hr);
    OAFilterState eState = State_Stopped;
    const HRESULT hrState = m_spControl->GetState(0, &eState);
    LONGLONG llPosition = 0;
    const HRESULT hrPosition = m_spSeeking->GetCurrentPosition(&llPosition);
    return L"state=" + std::to_wstring(eState) + L" hr=" + Hex(hrState) + L" position=" + std::to_wstring(llPosition) +
           L" hr=" + Hex(hrPosition);
}

HRESULT CLiveGraph::Stop() {
    const HRESULT hr = Control();
    return FAILED(hr) ? hr : m_spControl->Stop();
}

void CLiveGraph::Release() {
    m_model.ReleaseInterfaces();
    m_spSeeking.Release();
    m_spControl.Release();
    m_spGraph.Release();
}

}  // namespace ge
