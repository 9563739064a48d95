// The .grf text description: a small UTF-8 language, one record per line, from which the
// grf tool and the tests build graphs.
//
//   version 3                       optional, 2 or 3 (default 3); before the first filter
//   filter 0001 "Tavrel" tavrel     id, quoted name, {CLSID} or alias; then optionally
//                                   source "<file>" or sink "<file>"
//   data rate=2000000               appends the rest of the line and an LF to the previous
//                                   filter's data: UTF-8 text, quotes included, up to a '#'
//                                   after a blank (a trailing comment), trailing blanks dropped
//   datahex 00 22 0d0a ff           appends raw bytes (pairs of hex digits) to that data
//   connect 0001 "Out" 0002 "In" {major} {subtype} 1 0 65536 {formattype} 0a0b0c
//                                   fixed, temporal (0/1), lSampleSize, optional format hex
//   clock 0000                      CLOCK 1 0000; or clock {clsid} / alias; or clock none
//
// '#' starts a comment: a whole line, or the rest of a line after a blank, outside quotes.
// Blank lines are ignored; CR LF line ends and a UTF-8 BOM are accepted. Quoted
// strings run to the next '"' (no escapes). Version 3 without a clock record gets
// CLOCK 1 0000, as real files do; version 2 has no clock. Filter ids in connect and clock
// records are not checked against the filters, so tests can describe broken graphs.
//
// GUID aliases: writer, tavrel, stream (MEDIATYPE_Stream), video, audio, null (GUID_NULL),
// none (FORMAT_None), systemclock (CLSID_SystemClock).
#pragma once

#include <string>

#include "GrfFormat.h"

namespace grf {

// On failure `error` reads "line N: what was wrong" and `graph` is unchanged.
bool ParseDescription(const std::string& utf8Text, Graph& graph, std::string& error);

// A {GUID} (either case) or one of the aliases above.
bool GuidFromWord(const std::string& word, Guid& guid);

}  // namespace grf
