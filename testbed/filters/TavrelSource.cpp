// The source stand-in, CLSID_TavrelSource {B4E5A1C2-7D3F-4E8A-9B1C-2D3E4F5A6B7C}.
//
// A push source: one output pin "Out" proposing MEDIATYPE_Stream / MEDIASUBTYPE_NULL /
// FORMAT_None (and taking any type the other side names). On the change from stopped to
// paused it starts its streaming thread, which delivers nothing until the filter runs; while
// running it delivers samples at the configured byte rate, time-stamped by the byte offsets
// they carry (start = offset / rate); while paused it holds (the stream clock stops, no sample
// is being delivered once Pause has returned); on stop the thread ends and is waited for. At
// the configured duration it sends EndOfStream downstream. A refused sample (the writer
// stopped first) ends delivery until the next start. The pin's IMediaSeeking answers in media
// time: GetDuration and GetStopPosition the duration, GetCurrentPosition the stream time
// (running time since the start, pauses excluded, at most the duration, kept after stop),
// GetAvailable 0 to the current position. It does not reposition.
//
// Configuration: the filter data, UTF-8 "key=value" lines as for the writer stand-in; unknown
// keys or bad values fail Load with E_INVALIDARG. Save writes the keys that differ from their
// defaults, in this order:
//   rate=<n>       bytes per second, > 0 (2000000)
//   sample=<n>     bytes per sample, > 0 (65536)
//   duration=<n>   length of the stream in 100 ns units, >= 0 (6000000000: 10 minutes)
#include "TavrelSource.h"

#include <string>

#include "ConfigText.h"
#include "TestbedIds.h"

namespace tb {

CTavrelSource::CTavrelSource() : CBaseFilter(CLSID_TavrelSource), m_pin(this) {}

// The graph stops its filters before it lets them go; a source released while still active
// (by a caller without a graph) ends its thread here.
CTavrelSource::~CTavrelSource() {
    CAutoLock lock(FilterLock());
    m_pin.Deactivate();
}

HRESULT CTavrelSource::Create(REFIID riid, void** ppv) {
    auto* pFilter = new CTavrelSource();
    HRESULT hr = pFilter->QueryInterface(riid, ppv);
    pFilter->Release();
    return hr;
}

HRESULT CTavrelSource::QueryFilterInterface(REFIID riid, void** ppv) {
    if (riid != IID_IPersistStream) return E_NOINTERFACE;
    *ppv = static_cast<IPersistStream*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP CTavrelSource::Load(IStream* pStream) {
    std::string text;
    HRESULT hr = ReadStreamToEnd(pStream, &text);
    if (FAILED(hr)) return hr;
    ConfigItems items;
    hr = ParseConfigText(text, &items);
    if (FAILED(hr)) return hr;
    StreamFormat format;
    for (const auto& item : items) {
        long long n = 0;
        if (!ParseInteger(item.second, &n)) return E_INVALIDARG;
        if (item.first == "rate" && n > 0) format.llBytesPerSecond = n;
        else if (item.first == "sample" && n > 0 && n <= 0x7FFFFFFF) format.cbSample = static_cast<LONG>(n);
        else if (item.first == "duration" && n >= 0) format.rtDuration = n;
        else return E_INVALIDARG;
    }
    CAutoLock lock(FilterLock());
    if (State() != State_Stopped) return VFW_E_NOT_STOPPED;
    m_format = format;
    m_pin.SetFormat(format);
    return S_OK;
}

std::string CTavrelSource::FormatConfig() {
    const StreamFormat defaults;
    CAutoLock lock(FilterLock());
    std::string text;
    if (m_format.llBytesPerSecond != defaults.llBytesPerSecond)
        text += "rate=" + std::to_string(m_format.llBytesPerSecond) + "\n";
    if (m_format.cbSample != defaults.cbSample) text += "sample=" + std::to_string(m_format.cbSample) + "\n";
    if (m_format.rtDuration != defaults.rtDuration) text += "duration=" + std::to_string(m_format.rtDuration) + "\n";
    return text;
}

STDMETHODIMP CTavrelSource::Save(IStream* pStream, BOOL) { return WriteStreamText(pStream, FormatConfig()); }

STDMETHODIMP CTavrelSource::GetSizeMax(ULARGE_INTEGER* pcbSize) {
    if (!pcbSize) return E_POINTER;
    pcbSize->QuadPart = FormatConfig().size();
    return S_OK;
}

}  // namespace tb
