// Helpers of the filter stand-ins' tests: interface checks, configuration through a real
// stream, the DLL's live-object count, small file helpers.
#pragma once

#include <dshow.h>

#include <string>

#include "ComPtr.h"

namespace filtertest {

// EXPECTs that obj does (or does not) answer iid; reports the caller's line.
void CheckInterface(IUnknown* pObject, REFIID riid, bool bSupported, int nLine);
#define CHECK_INTERFACE(obj, iid, supported) ::filtertest::CheckInterface(obj, iid, supported, __LINE__)

// IPersistStream::Load of text through a stream made by CreateStreamOnHGlobal.
HRESULT LoadConfig(IUnknown* pObject, const std::string& text);
// IPersistStream::Save into a fresh stream, returned as text.
std::string SaveConfig(IUnknown* pObject);

// TestbedLiveObjects of the testfilters.dll that COM loaded for this process.
LONG LiveObjects();

std::string ReadFileText(const std::wstring& path);
LONGLONG FileSize(const std::wstring& path);  // -1 when it cannot be opened
std::string Utf8(const std::wstring& text);

// First pin with this id, or empty.
fw::ComPtr<IPin> FindPin(IBaseFilter* pFilter, const wchar_t* pszId);

}  // namespace filtertest
