// The GraphEdit stream format ("ActiveMovieGraph" stream of a .grf file), as plain data.
//
// Pure functions over bytes: no Windows headers, no COM, so the parser builds natively
// (for fuzzing) as well as with the cross compiler. Text is UTF-16 (char16_t).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace grf {

struct Guid {
    uint32_t data1 = 0;
    uint16_t data2 = 0;
    uint16_t data3 = 0;
    uint8_t data4[8] = {};
    bool operator==(const Guid& other) const;
    bool operator!=(const Guid& other) const { return !(*this == other); }
};

enum class FileKind { None, Source, Sink };

struct Filter {
    uint32_t id = 0;                 // 4 decimal digits in the stream
    std::u16string name;             // not escaped; may hold anything but '"'
    Guid clsid;
    FileKind fileKind = FileKind::None;
    std::u16string fileName;         // SOURCE "..." or SINK "..."; "(null)" kept as written
    std::vector<uint8_t> data;       // the filter's IPersistStream data, any bytes
};

struct MediaType {
    Guid majorType;
    Guid subtype;
    bool fixedSizeSamples = false;
    bool temporalCompression = false;
    uint32_t sampleSize = 0;
    Guid formatType;
    std::vector<uint8_t> format;     // cbFormat bytes, any bytes
};

struct Connection {
    uint32_t outFilterId = 0;
    std::u16string outPinId;
    uint32_t inFilterId = 0;
    std::u16string inPinId;
    MediaType mediaType;
};

struct Clock {
    bool present = false;            // version 0002 has no CLOCK line
    bool required = false;
    bool isClassId = false;          // CLOCK 1 {clsid} rather than CLOCK 1 <filter id>
    uint32_t filterId = 0;           // 0000: the graph's default clock
    Guid classId;
};

struct Graph {
    int version = 3;                 // 2 or 3
    std::vector<Filter> filters;
    std::vector<Connection> connections;
    Clock clock;
};

struct ParseError {
    size_t offset = 0;               // byte offset in the stream where parsing stopped
    std::string message;             // what was expected there
};

// Parses a whole stream. Never reads outside [data, data + size). Returns false, with
// the error filled in, for anything malformed or truncated (nothing after END is allowed
// but whitespace). Accepts the layout real files have and the looser whitespace of the
// published grammar.
bool Parse(const uint8_t* data, size_t size, Graph& graph, ParseError& error);

// Writes the exact layout real GraphEdit files have (10-digit lengths, 4-digit ids,
// upper-case braced GUIDs, CR LF between records, NUL before the format type, nothing after END).
std::vector<uint8_t> Write(const Graph& graph);

// A readable dump, one line per filter, connection and clock, in the style:
//   F 0001 "FlipCam" {F89EB97B-2A47-49B5-A1B1-5E530517CDF6} data=0 B
//   C 0001 "1" -> 0002 "In": mt-block 374 B; {major} / {subtype}; fixed=1 temporal=0 lSampleSize=2764800; {format} cbFormat=88
//   CLOCK 1 {E436EBB1-524F-11CE-9F53-0020AF0BA770}
//   END at byte 1914
std::string Dump(const Graph& graph, size_t streamSize);

std::string GuidToString(const Guid& guid);              // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
bool GuidFromString(const std::u16string& text, Guid& guid);

}  // namespace grf
