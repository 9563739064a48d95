// .grf files: a structured-storage compound file whose root holds the graph in the
// stream "ActiveMovieGraph" (opened the way the harness opens it: read-only, exclusive).
#pragma once

#include <objbase.h>

#include <cstdint>
#include <vector>

namespace grf {

inline constexpr wchar_t kGraphStreamName[] = L"ActiveMovieGraph";

// Reads the whole graph stream. The status of the first failing step otherwise
// (StgOpenStorage, OpenStream, Stat, Read); E_OUTOFMEMORY for a stream over 256 MB.
HRESULT ReadGrfFile(const wchar_t* pszPath, std::vector<uint8_t>& stream);

// Creates (or replaces) the compound file and writes `stream` into a root stream named
// pszStreamName. Tests pass another name, or null for a compound file with no stream at all.
HRESULT WriteGrfFile(const wchar_t* pszPath, const std::vector<uint8_t>& stream,
                     const wchar_t* pszStreamName = kGraphStreamName);

}  // namespace grf
