// The fuzz target over the GraphEdit stream parser (GrfFuzzTarget.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

// Runs every check on one input; a broken property or a sanitizer report ends the process.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

// Whether grf::Parse accepts the bytes (the corpus check holds named seeds to it).
bool GrfAccepts(const uint8_t* data, size_t size);
