// The Lathmere writer filter's class identifier and its two private interfaces.
// The slot order is the writer's binary contract: do not reorder.
#pragma once

#include <objbase.h>

// {8E9C3E01-2306-4A81-911F-8825C7C82516}
inline constexpr CLSID CLSID_WriterFilter = {
    0x8E9C3E01, 0x2306, 0x4A81, {0x91, 0x1F, 0x88, 0x25, 0xC7, 0xC8, 0x25, 0x16}};

// {489F6F19-9F5A-4826-9A04-333629E26E67}
MIDL_INTERFACE("489F6F19-9F5A-4826-9A04-333629E26E67")
IWriterControl : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE GetWritten(LONGLONG* pllWritten) = 0;          // slot 3
    virtual HRESULT STDMETHODCALLTYPE SetInterleaving(DWORD dwInterleavingMs) = 0;   // slot 4
    virtual HRESULT STDMETHODCALLTYPE GetInterleaving(DWORD* pdwInterleavingMs) = 0; // slot 5
    virtual HRESULT STDMETHODCALLTYPE SetSaveBreaksOnly(BOOL bSaveBreaksOnly) = 0;   // slot 6
    virtual HRESULT STDMETHODCALLTYPE GetSaveBreaksOnly(BOOL* pbSaveBreaksOnly) = 0; // slot 7
    virtual HRESULT STDMETHODCALLTYPE SetSharedAccess(BOOL bSharedAccess) = 0;       // slot 8
    virtual HRESULT STDMETHODCALLTYPE GetSharedAccess(BOOL* pbSharedAccess) = 0;     // slot 9
    virtual HRESULT STDMETHODCALLTYPE SetNonDrop(BOOL bNonDrop) = 0;                 // slot 10
    virtual HRESULT STDMETHODCALLTYPE GetNonDrop(BOOL* pbNonDrop) = 0;               // slot 11
    virtual HRESULT STDMETHODCALLTYPE SetMdatMode(BOOL bMdatMode) = 0;               // slot 12
    virtual HRESULT STDMETHODCALLTYPE GetMdatMode(BOOL* pbMdatMode) = 0;             // slot 13
    virtual HRESULT STDMETHODCALLTYPE SetLongDur(BOOL bLongDur) = 0;                 // slot 14
    virtual HRESULT STDMETHODCALLTYPE GetLongDur(BOOL* pbLongDur) = 0;               // slot 15
};
__CRT_UUID_DECL(IWriterControl, 0x489F6F19, 0x9F5A, 0x4826, 0x9A, 0x04, 0x33, 0x36, 0x29, 0xE2, 0x6E, 0x67)

// {44B8DE04-B24C-4523-899D-295F013E5958}
MIDL_INTERFACE("44B8DE04-B24C-4523-899D-295F013E5958")
IWriterVersion : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE GetType(int* peType) = 0;          // slot 3: 0 debug, else release
    virtual HRESULT STDMETHODCALLTYPE GetOS(int* peOS) = 0;              // slot 4: 0 32-bit, else 64-bit
    virtual HRESULT STDMETHODCALLTYPE GetName(BSTR* pbstrName) = 0;      // slot 5
    virtual HRESULT STDMETHODCALLTYPE GetNumber(BSTR* pbstrNumber) = 0;  // slot 6
    virtual HRESULT STDMETHODCALLTYPE GetDateTime(BSTR* pbstrDateTime) = 0;  // slot 7
};
__CRT_UUID_DECL(IWriterVersion, 0x44B8DE04, 0xB24C, 0x4523, 0x89, 0x9D, 0x29, 0x5F, 0x01, 0x3E, 0x59, 0x58)

inline constexpr IID IID_IWriterControl = __uuidof(IWriterControl);
inline constexpr IID IID_IWriterVersion = __uuidof(IWriterVersion);
