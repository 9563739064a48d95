// Identifiers of the test bed's own COM classes (never registered on a real Windows machine).
#pragma once

#include <objbase.h>

// The source stand-in: a push source with one output pin.
// {B4E5A1C2-7D3F-4E8A-9B1C-2D3E4F5A6B7C}
inline constexpr CLSID CLSID_TavrelSource = {
    0xB4E5A1C2, 0x7D3F, 0x4E8A, {0x9B, 0x1C, 0x2D, 0x3E, 0x4F, 0x5A, 0x6B, 0x7C}};

// Path of the default graph the prefix set-up writes (inside the Wine prefix's drive C:).
#define TESTBED_DEFAULT_GRAPH L"C:\\CVS\\Dev\\Filters\\MPEG-4\\Lathmere\\Graphs\\Tavrel-Lathmere.GRF"
