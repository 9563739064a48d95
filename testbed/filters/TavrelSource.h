// The source stand-in (CLSID_TavrelSource): a push source with one output pin "Out".
#pragma once

#include <string>

#include "FilterBase.h"
#include "TavrelOutputPin.h"

namespace tb {

class CTavrelSource : public CBaseFilter, public IPersistStream {
public:
    static HRESULT Create(REFIID riid, void** ppv);

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override { return CBaseFilter::QueryInterface(riid, ppv); }
    STDMETHODIMP_(ULONG) AddRef() override { return CBaseFilter::AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return CBaseFilter::Release(); }
    STDMETHODIMP GetClassID(CLSID* pClassID) override { return CBaseFilter::GetClassID(pClassID); }

    // IPersistStream: the configuration text.
    STDMETHODIMP IsDirty() override { return S_FALSE; }
    STDMETHODIMP Load(IStream* pStream) override;
    STDMETHODIMP Save(IStream* pStream, BOOL fClearDirty) override;
    STDMETHODIMP GetSizeMax(ULARGE_INTEGER* pcbSize) override;

    int PinCount() override { return 1; }
    CBasePin* GetPin(int) override { return &m_pin; }

private:
    CTavrelSource();
    ~CTavrelSource() override;

    HRESULT QueryFilterInterface(REFIID riid, void** ppv) override;
    HRESULT OnActivate() override { return m_pin.Activate(); }
    void OnDeactivate() override { m_pin.Deactivate(); }
    HRESULT OnRun(REFERENCE_TIME) override {
        m_pin.StartRunning();
        return S_OK;
    }
    void OnPauseFromRun() override { m_pin.HoldStreaming(); }

    std::string FormatConfig();

    CTavrelOutputPin m_pin;
    StreamFormat m_format;  // guarded by the state lock
};

}  // namespace tb
