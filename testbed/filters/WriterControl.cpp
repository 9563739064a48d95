// IWriterControl and IWriterVersion of the writer stand-in: each call answers as the
// configuration says (hr.<Method>, failout, busy) and is written to the journal.
#include <algorithm>
#include <cstdio>

#include "ConfigText.h"
#include "Debug.h"
#include "WriterFilter.h"

FW_ASSERT_SOURCE(L"WriterControl");

namespace tb {
namespace {

std::string Quoted(const IdentityString& string) {
    return string.bNull ? "(null)" : "\"" + WideToUtf8(string.text.c_str()) + "\"";
}

const char kUntouched[] = "(untouched)";
const char kNullPointer[] = "(null pointer)";

// Opened, appended and closed per line, so that another process reading the journal sees
// every call as soon as it returns; the caller's config lock keeps lines whole and in order.
void AppendLine(const std::wstring& path, const std::string& line) {
    if (path.empty()) return;
    HANDLE hFile = ::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE) return;
    DWORD cbWritten = 0;
    ::WriteFile(hFile, line.data(), static_cast<DWORD>(line.size()), &cbWritten, nullptr);
    ::CloseHandle(hFile);
}

}  // namespace

// Config lock held.
HRESULT CWriterFilter::ConfiguredResult(WriterMethod eMethod) { return m_config.rghrResult[eMethod]; }

// Config lock held. The configured counts in turn, the last one repeating; without them, the
// bytes appended to the sink.
LONGLONG CWriterFilter::NextWrittenCount() {
    FW_ASSERT(m_csConfig.IsHeldByMe());
    const std::vector<LONGLONG>& rgll = m_config.rgllWritten;
    if (rgll.empty()) return ::InterlockedCompareExchange64(&m_llWritten, 0, 0);
    LONGLONG ll = rgll[std::min(m_iWrittenCount, rgll.size() - 1)];
    if (m_iWrittenCount < rgll.size()) ++m_iWrittenCount;
    return ll;
}

// Config lock held.
void CWriterFilter::Journal(WriterMethod eMethod, const std::string& argument, HRESULT hr) {
    FW_ASSERT(m_csConfig.IsHeldByMe());
    // Without a journal nothing is built: GetWritten runs on every tick of the dialog's timer,
    // and a benchmark counts that tick's heap allocations.
    if (m_config.journal.empty()) return;
    AppendLine(m_config.journal, std::string(WriterMethodName(eMethod)) + " " + argument + " -> " + FormatHresult(hr) + "\n");
}

// Config lock held.
void CWriterFilter::JournalState(const char* pszMethod, FILTER_STATE eFrom, HRESULT hr) {
    FW_ASSERT(m_csConfig.IsHeldByMe());
    if (m_config.stateJournal.empty()) return;
    static const char* const s_rgszStates[] = {"stopped", "paused", "running"};
    AppendLine(m_config.stateJournal,
               std::string(pszMethod) + " " + s_rgszStates[eFrom] + " -> " + FormatHresult(hr) + "\n");
}

// The state lock is taken first (to read the state for "busy"), then the config lock.
HRESULT CWriterFilter::SetOption(WriterMethod eMethod, const char* pszValue,
                                 const std::function<void(WriterConfig&)>& store) {
    CAutoLock lock(FilterLock());
    CAutoLock lockConfig(m_csConfig);
    HRESULT hr = ConfiguredResult(eMethod);
    if (State() != State_Stopped && m_config.hrRefuseWhileActive != S_OK) hr = m_config.hrRefuseWhileActive;
    if (SUCCEEDED(hr)) {
        store(m_config);
        m_bDirty = true;
    }
    Journal(eMethod, pszValue, hr);
    return hr;
}

template <class T>
HRESULT CWriterFilter::GetOption(WriterMethod eMethod, T* pValue, T WriterConfig::*pMember) {
    CAutoLock lock(m_csConfig);
    if (!pValue) {
        Journal(eMethod, kNullPointer, E_POINTER);
        return E_POINTER;
    }
    HRESULT hr = ConfiguredResult(eMethod);
    if (SUCCEEDED(hr) || m_config.bFailedGetterWrites) {
        *pValue = m_config.*pMember;
        Journal(eMethod, std::to_string(*pValue), hr);
    } else {
        Journal(eMethod, kUntouched, hr);
    }
    return hr;
}

HRESULT CWriterFilter::GetIdentity(WriterMethod eMethod, BSTR* pbstr, IdentityString WriterConfig::*pMember) {
    CAutoLock lock(m_csConfig);
    if (!pbstr) {
        Journal(eMethod, kNullPointer, E_POINTER);
        return E_POINTER;
    }
    HRESULT hr = ConfiguredResult(eMethod);
    const IdentityString& value = m_config.*pMember;
    if (SUCCEEDED(hr) || m_config.bFailedGetterWrites) {
        *pbstr = value.bNull ? nullptr : ::SysAllocStringLen(value.text.data(), static_cast<UINT>(value.text.size()));
        if (!value.bNull && !*pbstr) hr = E_OUTOFMEMORY;
        Journal(eMethod, Quoted(value), hr);
    } else {
        Journal(eMethod, kUntouched, hr);
    }
    return hr;
}

// ---- IWriterControl

// Only the config lock: the count itself is interlocked, so this never waits for streaming.
// Every call takes the next configured count, also one that fails and writes nothing.
STDMETHODIMP CWriterFilter::GetWritten(LONGLONG* pllWritten) {
    CAutoLock lock(m_csConfig);
    if (!pllWritten) {
        Journal(wmGetWritten, kNullPointer, E_POINTER);
        return E_POINTER;
    }
    HRESULT hr = ConfiguredResult(wmGetWritten);
    LONGLONG llWritten = NextWrittenCount();
    if (SUCCEEDED(hr) || m_config.bFailedGetterWrites) {
        *pllWritten = llWritten;
        Journal(wmGetWritten, std::to_string(*pllWritten), hr);
    } else {
        Journal(wmGetWritten, kUntouched, hr);
    }
    return hr;
}

STDMETHODIMP CWriterFilter::SetInterleaving(DWORD dwInterleavingMs) {
    return SetOption(wmSetInterleaving, std::to_string(dwInterleavingMs).c_str(),
                     [=](WriterConfig& c) { c.dwInterleavingMs = dwInterleavingMs; });
}
STDMETHODIMP CWriterFilter::GetInterleaving(DWORD* pdwInterleavingMs) {
    return GetOption(wmGetInterleaving, pdwInterleavingMs, &WriterConfig::dwInterleavingMs);
}
STDMETHODIMP CWriterFilter::SetSaveBreaksOnly(BOOL bSaveBreaksOnly) {
    return SetOption(wmSetSaveBreaksOnly, std::to_string(bSaveBreaksOnly).c_str(),
                     [=](WriterConfig& c) { c.bSaveBreaksOnly = bSaveBreaksOnly; });
}
STDMETHODIMP CWriterFilter::GetSaveBreaksOnly(BOOL* pbSaveBreaksOnly) {
    return GetOption(wmGetSaveBreaksOnly, pbSaveBreaksOnly, &WriterConfig::bSaveBreaksOnly);
}
STDMETHODIMP CWriterFilter::SetSharedAccess(BOOL bSharedAccess) {
    return SetOption(wmSetSharedAccess, std::to_string(bSharedAccess).c_str(),
                     [=](WriterConfig& c) { c.bSharedAccess = bSharedAccess; });
}
STDMETHODIMP CWriterFilter::GetSharedAccess(BOOL* pbSharedAccess) {
    return GetOption(wmGetSharedAccess, pbSharedAccess, &WriterConfig::bSharedAccess);
}
STDMETHODIMP CWriterFilter::SetNonDrop(BOOL bNonDrop) {
    return SetOption(wmSetNonDrop, std::to_string(bNonDrop).c_str(), [=](WriterConfig& c) { c.bNonDrop = bNonDrop; });
}
STDMETHODIMP CWriterFilter::GetNonDrop(BOOL* pbNonDrop) {
    return GetOption(wmGetNonDrop, pbNonDrop, &WriterConfig::bNonDrop);
}
STDMETHODIMP CWriterFilter::SetMdatMode(BOOL bMdatMode) {
    return SetOption(wmSetMdatMode, std::to_string(bMdatMode).c_str(), [=](WriterConfig& c) { c.bMdatMode = bMdatMode; });
}
STDMETHODIMP CWriterFilter::GetMdatMode(BOOL* pbMdatMode) {
    return GetOption(wmGetMdatMode, pbMdatMode, &WriterConfig::bMdatMode);
}
STDMETHODIMP CWriterFilter::SetLongDur(BOOL bLongDur) {
    return SetOption(wmSetLongDur, std::to_string(bLongDur).c_str(), [=](WriterConfig& c) { c.bLongDur = bLongDur; });
}
STDMETHODIMP CWriterFilter::GetLongDur(BOOL* pbLongDur) {
    return GetOption(wmGetLongDur, pbLongDur, &WriterConfig::bLongDur);
}

// ---- IWriterVersion

STDMETHODIMP CWriterFilter::GetType(int* peType) { return GetOption(wmGetType, peType, &WriterConfig::eType); }
STDMETHODIMP CWriterFilter::GetOS(int* peOS) { return GetOption(wmGetOS, peOS, &WriterConfig::eOS); }
STDMETHODIMP CWriterFilter::GetName(BSTR* pbstrName) { return GetIdentity(wmGetName, pbstrName, &WriterConfig::name); }
STDMETHODIMP CWriterFilter::GetNumber(BSTR* pbstrNumber) {
    return GetIdentity(wmGetNumber, pbstrNumber, &WriterConfig::number);
}
STDMETHODIMP CWriterFilter::GetDateTime(BSTR* pbstrDateTime) {
    return GetIdentity(wmGetDateTime, pbstrDateTime, &WriterConfig::dateTime);
}

}  // namespace tb
