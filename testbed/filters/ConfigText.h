// The test configuration the stand-ins carry as their filter data: UTF-8 "key=value" lines,
// LF-separated (a CR before the LF is dropped). Blank lines and lines starting with '#' are
// skipped. Each filter owns its keys; this file only splits, converts and moves the text.
#pragma once

#include <objidl.h>

#include <string>
#include <utility>
#include <vector>

namespace tb {

using ConfigItems = std::vector<std::pair<std::string, std::string>>;

// E_INVALIDARG for a line without '=' or with an empty key.
HRESULT ParseConfigText(const std::string& text, ConfigItems* pItems);

// The whole rest of the stream (its reader hands over exactly the filter's data).
HRESULT ReadStreamToEnd(IStream* pStream, std::string* pText);
HRESULT WriteStreamText(IStream* pStream, const std::string& text);

// Decimal (optionally signed) or 0x-prefixed hexadecimal, nothing else on the line.
bool ParseInteger(const std::string& text, long long* pValue);
// As ParseInteger, or one of a few well-known names (S_OK, S_FALSE, E_FAIL, ...).
bool ParseHresult(const std::string& text, HRESULT* phr);
std::string FormatHresult(HRESULT hr);  // "0x80004005"

std::wstring Utf8ToWide(const std::string& text);
std::string WideToUtf8(const wchar_t* psz);

}  // namespace tb
