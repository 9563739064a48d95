// A small DirectShow filter base: the filter and pin objects own the COM protocol, the state
// machine and connection logic; each concrete filter supplies hooks (its pins, its extra
// interfaces, what happens on each change of state, which media types a pin takes).
//
// Locking: every filter has a state lock (FilterLock) that guards its state, clock, graph,
// name and its pins' connections. Streaming threads must never take it: Stop holds it while
// it waits for streaming to end. Filters that stream add their own streaming lock, always
// taken after the state lock, never before.
#pragma once

#include <dshow.h>

#include "Module.h"

namespace tb {

class CBasePin;

class CBaseFilter : public IBaseFilter, private CCountedObject {
public:
    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    // IPersist
    STDMETHODIMP GetClassID(CLSID* pClassID) override;
    // IMediaFilter
    STDMETHODIMP Stop() override;
    STDMETHODIMP Pause() override;
    STDMETHODIMP Run(REFERENCE_TIME tStart) override;
    STDMETHODIMP GetState(DWORD dwMilliSecsTimeout, FILTER_STATE* pState) override;
    STDMETHODIMP SetSyncSource(IReferenceClock* pClock) override;
    STDMETHODIMP GetSyncSource(IReferenceClock** ppClock) override;
    // IBaseFilter
    STDMETHODIMP EnumPins(IEnumPins** ppEnum) override;
    STDMETHODIMP FindPin(LPCWSTR pszId, IPin** ppPin) override;
    STDMETHODIMP QueryFilterInfo(FILTER_INFO* pInfo) override;
    STDMETHODIMP JoinFilterGraph(IFilterGraph* pGraph, LPCWSTR pszName) override;
    STDMETHODIMP QueryVendorInfo(LPWSTR* ppszVendorInfo) override;

    // Pins by index, for the enumerator and FindPin; called with the state lock held.
    virtual int PinCount() = 0;
    virtual CBasePin* GetPin(int i) = 0;

    CCritSec& FilterLock() { return m_csFilter; }
    // Current state; read it with the state lock held.
    FILTER_STATE State() const { return m_state; }
    // Sends an event to the graph manager (EC_COMPLETE and the like); any thread.
    void NotifyEvent(long lEventCode, LONG_PTR lParam1, LONG_PTR lParam2);

protected:
    explicit CBaseFilter(REFCLSID clsid);
    virtual ~CBaseFilter();

    // The concrete filter's own interfaces, asked after the base's (ppv is already null).
    virtual HRESULT QueryFilterInterface(REFIID riid, void** ppv) = 0;

    // State hooks, called with the state lock held before the new state is recorded.
    // A failure from OnActivate or OnRun leaves the state unchanged.
    virtual HRESULT OnActivate() { return S_OK; }                      // stopped -> paused
    virtual void OnDeactivate() {}                                     // paused/running -> stopped
    virtual HRESULT OnRun(REFERENCE_TIME /*tStart*/) { return S_OK; }  // paused -> running
    virtual void OnPauseFromRun() {}                                   // running -> paused

private:
    LONG m_cRef = 1;
    const CLSID m_clsid;
    CCritSec m_csFilter;
    FILTER_STATE m_state = State_Stopped;
    IReferenceClock* m_pClock = nullptr;
    // Neither is AddRef'd: the graph holds the filter, not the other way round.
    IFilterGraph* m_pGraph = nullptr;
    IMediaEventSink* m_pEventSink = nullptr;
    WCHAR m_szName[MAX_FILTER_NAME] = {};
};

// One pin. Its reference count is its filter's: a pin lives exactly as long as its filter.
class CBasePin : public IPin {
public:
    virtual ~CBasePin();

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    // IPin
    STDMETHODIMP Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP ReceiveConnection(IPin* pConnector, const AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP Disconnect() override;
    STDMETHODIMP ConnectedTo(IPin** ppPin) override;
    STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP QueryPinInfo(PIN_INFO* pInfo) override;
    STDMETHODIMP QueryDirection(PIN_DIRECTION* pPinDir) override;
    STDMETHODIMP QueryId(LPWSTR* ppszId) override;
    STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** ppEnum) override;
    STDMETHODIMP QueryInternalConnections(IPin** apPin, ULONG* nPin) override;
    // Output pins take no stream calls; input pins override these.
    STDMETHODIMP EndOfStream() override { return E_UNEXPECTED; }
    STDMETHODIMP BeginFlush() override { return E_UNEXPECTED; }
    STDMETHODIMP EndFlush() override { return E_UNEXPECTED; }
    STDMETHODIMP NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override { return E_UNEXPECTED; }

    // The media types the pin proposes, by index: S_OK or VFW_S_NO_MORE_ITEMS.
    virtual HRESULT GetMediaType(int i, AM_MEDIA_TYPE* pmt);
    const WCHAR* Id() const { return m_szId; }
    bool IsConnected();
    // For streaming threads, which must not take the state lock: connections change only while
    // the filter is stopped, so while it streams this reads a settled value.
    bool IsConnectedWhileStreaming() const { return m_pConnected != nullptr; }

protected:
    CBasePin(CBaseFilter* pFilter, PIN_DIRECTION dir, LPCWSTR pszId);

    // Hooks, all called with the filter's state lock held.
    virtual HRESULT CheckMediaType(const AM_MEDIA_TYPE* pmt) = 0;
    virtual HRESULT QueryPinInterface(REFIID /*riid*/, void** /*ppv*/) { return E_NOINTERFACE; }
    // After both pins agreed on m_mt (output pins negotiate their allocator here).
    virtual HRESULT CompleteConnect(IPin* /*pPeer*/) { return S_OK; }
    virtual void BreakConnect() {}

    CBaseFilter* const m_pFilter;  // not AddRef'd: the filter owns its pins
    const PIN_DIRECTION m_dir;
    IPin* m_pConnected = nullptr;  // guarded by the state lock
    AM_MEDIA_TYPE m_mt{};          // the connection's type, guarded by the state lock

private:
    HRESULT TryConnect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt);
    HRESULT AttachPeer(IPin* pPeer, const AM_MEDIA_TYPE* pmt);
    void DetachPeer();

    WCHAR m_szId[MAX_PIN_NAME] = {};
};

}  // namespace tb
