// Helpers shared by the GRF tests: building streams by hand and a graph that exercises
// every feature of the format.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "GrfFormat.h"

namespace grftest {

// UTF-16LE bytes of 8-bit text (each char one code unit, so "\0" and "\r\n" come through).
std::vector<uint8_t> U16(const std::string& text);
std::vector<uint8_t> Join(std::initializer_list<std::vector<uint8_t>> parts);
grf::Guid G(const char* text);

// Two filters (SOURCE and SINK, odd-length data full of quotes, CR LF and zeros), one
// connection with an odd-length format block, and a class-id clock.
grf::Graph RichGraph();

// Compares every field; reports the first difference as a test failure.
void ExpectSameGraph(const grf::Graph& expected, const grf::Graph& actual);

}  // namespace grftest
