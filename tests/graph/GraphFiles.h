// Makes the .grf files the graph tests need, from the test bed's text description.
#pragma once

#include <windows.h>

#include <string>

namespace test {

// Writes <dir>\<name> as a compound file whose "ActiveMovieGraph" stream holds the graph
// described by the text; fails the current test if the description is malformed.
std::wstring WriteGraphFile(const std::wstring& dir, const std::wstring& name, const std::string& description);

// The test bed DLL's count of live COM objects (0 when the DLL is not loaded).
LONG LiveObjects(const wchar_t* pszDll);

// The test bed's filters (the writer and the source stand-ins), for LiveObjects.
inline constexpr wchar_t kFiltersDll[] = L"testfilters.dll";

}  // namespace test
