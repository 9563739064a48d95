// CPersistentGraph: Wine's filter graph manager, aggregated, with IPersistStream added.
#pragma once

#include <dshow.h>

#include <cstdint>
#include <vector>

#include "SeekingOverride.h"
#include "TestSwitches.h"

namespace grfpersist {

// The outer object of the aggregate. It answers IUnknown, IPersist and IPersistStream
// itself and hands every other interface request to the inner graph manager, whose
// interfaces in turn delegate AddRef, Release and QueryInterface back to this object.
// It is never aggregated itself. It keeps no state beyond the inner object, so Load and
// Save need no lock of their own: the graph manager serialises changes to the graph.
class CPersistentGraph final : public IPersistStream {
public:
    // The object withholds the interfaces the switches name (hrCreate is the factory's).
    static HRESULT Create(const TestSwitches& switches, REFIID riid, void** ppv);
    static LONG LiveObjects();

    CPersistentGraph(const CPersistentGraph&) = delete;
    CPersistentGraph& operator=(const CPersistentGraph&) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // IPersist
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* pClassID) override;
    // IPersistStream
    HRESULT STDMETHODCALLTYPE IsDirty() override;
    HRESULT STDMETHODCALLTYPE Load(IStream* pStm) override;
    HRESULT STDMETHODCALLTYPE Save(IStream* pStm, BOOL fClearDirty) override;
    HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER* pcbSize) override;

private:
    explicit CPersistentGraph(const TestSwitches& switches);
    ~CPersistentGraph();

    bool IsWithheld(REFIID riid) const;
    // Pins the interfaces GraphEdit uses before the graph is first marshalled (see
    // InterfacePins.h); leaks for the soak's leak switch.
    void NoteMarshalling(REFIID riid) const;

    HRESULT CreateInner();
    void StopFiltersLeftActive();
    // The inner graph manager's IFilterGraph for one operation. Its reference is one on
    // this object (the inner delegates AddRef), so an ordinary Release balances it.
    HRESULT GetFilterGraph(IFilterGraph** ppGraph);
    HRESULT SaveToBytes(BOOL fClearDirty, std::vector<uint8_t>& bytes);

    LONG m_cRef = 1;
    IUnknown* m_pInner = nullptr;  // the inner object's own (non-delegating) IUnknown
    const TestSwitches m_switches;
    CSeekingOverride m_seeking;  // offered only with the position switch
};

}  // namespace grfpersist
