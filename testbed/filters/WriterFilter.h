// The writer stand-in (CLSID_WriterFilter): a renderer-style sink that appends what its input
// pins receive to the file named through IFileSinkFilter, and answers the writer's two private
// interfaces as its configuration says. Keys and lock rules: WriterFilter.cpp.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "FilterBase.h"
#include "SeekingPassThru.h"
#include "WriterConfig.h"
#include "WriterInterfaces.h"

namespace tb {

class CWriterInputPin;

class CWriterFilter : public CBaseFilter,
                      public IPersistStream,
                      public IFileSinkFilter,
                      public IAMFilterMiscFlags,
                      public IWriterControl,
                      public IWriterVersion {
public:
    static HRESULT Create(REFIID riid, void** ppv);

    // IUnknown, shared by every interface of the filter.
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override { return CBaseFilter::QueryInterface(riid, ppv); }
    STDMETHODIMP_(ULONG) AddRef() override { return CBaseFilter::AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return CBaseFilter::Release(); }
    // IPersist, for IBaseFilter and IPersistStream alike: the configured result.
    STDMETHODIMP GetClassID(CLSID* pClassID) override;
    // IMediaFilter: the base's state machine, with the configured Pause result and the state journal.
    STDMETHODIMP Stop() override;
    STDMETHODIMP Pause() override;
    STDMETHODIMP Run(REFERENCE_TIME tStart) override;

    // IPersistStream: the configuration text.
    STDMETHODIMP IsDirty() override;
    STDMETHODIMP Load(IStream* pStream) override;
    STDMETHODIMP Save(IStream* pStream, BOOL fClearDirty) override;
    STDMETHODIMP GetSizeMax(ULARGE_INTEGER* pcbSize) override;
    // IFileSinkFilter
    STDMETHODIMP SetFileName(LPCOLESTR pszFileName, const AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP GetCurFile(LPOLESTR* ppszFileName, AM_MEDIA_TYPE* pmt) override;
    // IAMFilterMiscFlags
    STDMETHODIMP_(ULONG) GetMiscFlags() override { return AM_FILTER_MISC_FLAGS_IS_RENDERER; }

    // IWriterControl (WriterControl.cpp)
    STDMETHODIMP GetWritten(LONGLONG* pllWritten) override;
    STDMETHODIMP SetInterleaving(DWORD dwInterleavingMs) override;
    STDMETHODIMP GetInterleaving(DWORD* pdwInterleavingMs) override;
    STDMETHODIMP SetSaveBreaksOnly(BOOL bSaveBreaksOnly) override;
    STDMETHODIMP GetSaveBreaksOnly(BOOL* pbSaveBreaksOnly) override;
    STDMETHODIMP SetSharedAccess(BOOL bSharedAccess) override;
    STDMETHODIMP GetSharedAccess(BOOL* pbSharedAccess) override;
    STDMETHODIMP SetNonDrop(BOOL bNonDrop) override;
    STDMETHODIMP GetNonDrop(BOOL* pbNonDrop) override;
    STDMETHODIMP SetMdatMode(BOOL bMdatMode) override;
    STDMETHODIMP GetMdatMode(BOOL* pbMdatMode) override;
    STDMETHODIMP SetLongDur(BOOL bLongDur) override;
    STDMETHODIMP GetLongDur(BOOL* pbLongDur) override;
    // IWriterVersion (WriterControl.cpp)
    STDMETHODIMP GetType(int* peType) override;
    STDMETHODIMP GetOS(int* peOS) override;
    STDMETHODIMP GetName(BSTR* pbstrName) override;
    STDMETHODIMP GetNumber(BSTR* pbstrNumber) override;
    STDMETHODIMP GetDateTime(BSTR* pbstrDateTime) override;

    int PinCount() override;
    CBasePin* GetPin(int i) override;

    // Streaming, for the input pins (WriterInputPin.cpp); each takes the streaming lock.
    HRESULT ReceiveSample(CWriterInputPin* pPin, IMediaSample* pSample);
    HRESULT EndOfStreamOn(CWriterInputPin* pPin);
    HRESULT CheckStreaming(CWriterInputPin* pPin);
    CCritSec& StreamLock() { return m_csStream; }

private:
    CWriterFilter();
    ~CWriterFilter() override;

    HRESULT QueryFilterInterface(REFIID riid, void** ppv) override;
    HRESULT OnActivate() override;
    void OnDeactivate() override;
    HRESULT OnRun(REFERENCE_TIME tStart) override;
    void OnPauseFromRun() override;

    HRESULT ApplyConfig(const WriterConfig& config);
    template <class Change>
    HRESULT JournalledChange(const char* pszMethod, Change change);
    void SignalCompleteIfDone();

    // WriterControl.cpp
    HRESULT SetOption(WriterMethod eMethod, const char* pszValue, const std::function<void(WriterConfig&)>& store);
    template <class T>
    HRESULT GetOption(WriterMethod eMethod, T* pValue, T WriterConfig::*pMember);
    HRESULT GetIdentity(WriterMethod eMethod, BSTR* pbstr, IdentityString WriterConfig::*pMember);
    HRESULT ConfiguredResult(WriterMethod eMethod);
    LONGLONG NextWrittenCount();
    void Journal(WriterMethod eMethod, const std::string& argument, HRESULT hr);
    void JournalState(const char* pszMethod, FILTER_STATE eFrom, HRESULT hr);

    // Guarded by the state lock.
    std::vector<std::unique_ptr<CWriterInputPin>> m_pins;  // never shrinks: pins live as long as the filter
    int m_cPins = 1;
    std::wstring m_file;
    bool m_bDirty = false;

    // The configuration and current options, guarded by the config lock (a leaf lock: nothing
    // is called and no other lock is taken while it is held).
    CCritSec m_csConfig;
    WriterConfig m_config;
    size_t m_iWrittenCount = 0;  // the next of m_config.rgllWritten that GetWritten reports

    // Guarded by the streaming lock (changed only while the state lock is held too).
    CCritSec m_csStream;
    HANDLE m_hFile = INVALID_HANDLE_VALUE;
    bool m_bActive = false;
    bool m_bRunning = false;
    bool m_bCompleteSent = false;

    // Bytes appended to the sink since it was created; any thread, interlocked.
    volatile LONGLONG m_llWritten = 0;

    CSeekingPassThru m_seeking;
};

}  // namespace tb
