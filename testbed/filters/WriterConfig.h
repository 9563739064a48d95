// The writer stand-in's test configuration and current option values (keys: WriterFilter.cpp).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace tb {

// The methods of IWriterControl and IWriterVersion, in slot order; each has a configurable result.
enum WriterMethod {
    wmGetWritten, wmSetInterleaving, wmGetInterleaving, wmSetSaveBreaksOnly, wmGetSaveBreaksOnly,
    wmSetSharedAccess, wmGetSharedAccess, wmSetNonDrop, wmGetNonDrop, wmSetMdatMode, wmGetMdatMode,
    wmSetLongDur, wmGetLongDur,
    wmGetType, wmGetOS, wmGetName, wmGetNumber, wmGetDateTime,
    wmCount
};
const char* WriterMethodName(WriterMethod eMethod);

// A string the writer reports; bNull stands for a null BSTR.
struct IdentityString {
    bool bNull = false;
    std::wstring text;
};

struct WriterConfig {
    // The six options, as last set (stored exactly as given, never clamped or normalised).
    DWORD dwInterleavingMs = 500;
    BOOL bSaveBreaksOnly = FALSE;
    BOOL bSharedAccess = FALSE;
    BOOL bNonDrop = FALSE;
    BOOL bMdatMode = FALSE;
    BOOL bLongDur = FALSE;
    // Identity.
    IdentityString name{false, L"Lathmere MPEG-4 Writer"};
    IdentityString number{false, L"2.1.0.7"};
    IdentityString dateTime{false, L"2024-05-17 10:30:00"};
    int eType = 1;  // release
    int eOS = sizeof(void*) == 8 ? 1 : 0;  // the platform this stand-in was built for
    // Behaviour for tests.
    HRESULT rghrResult[wmCount] = {};
    bool bFailedGetterWrites = true;
    HRESULT hrRefuseWhileActive = S_OK;
    HRESULT hrPause = S_OK;                 // IBaseFilter::Pause's result
    HRESULT hrGetClassID = S_OK;            // IPersist::GetClassID's result
    std::vector<LONGLONG> rgllWritten;      // counts GetWritten reports in turn; empty: the sink's
    bool bHideControl = false;
    bool bHideVersion = false;
    int cInputs = 1;
    std::wstring journal;
    std::wstring stateJournal;

    // E_INVALIDARG for an unknown key or a value that does not fit it.
    HRESULT Set(const std::string& key, const std::string& value);
    // The key's value in the form Set reads; empty for an unknown key.
    std::string Get(const std::string& key) const;
    // Every key, in the order Format writes them.
    static std::vector<std::string> Keys();
    // One "key=value\n" line for every key whose value differs from its default.
    std::string Format() const;
};

static constexpr int kMaxWriterInputs = 16;

}  // namespace tb
