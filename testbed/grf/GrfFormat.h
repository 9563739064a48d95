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
// but blanks). Accepts the layout real files have and the looser whitespace of the
// published grammar (runs of space, tab, CR, LF between tokens; blanks instead of the NUL
// before the format type). A media type whose length differs from the bytes it counts is
// an error. Version 0002 has no CLOCK; in version 0003 the CLOCK line is optional.
// On failure `graph` is left as it was.
bool Parse(const uint8_t* data, size_t size, Graph& graph, ParseError& error);

// Writes the exact layout real GraphEdit files have (10-digit lengths, 4-digit ids,
// upper-case braced GUIDs, CR LF between records, NUL before the format type, nothing after END).
// The clock line is written only for version 3 with clock.present. Names, pin ids and file
// names must not hold '"': the format has no escape for it.
std::vector<uint8_t> Write(const Graph& graph);

// A readable dump, one line per filter, connection and clock, in the style:
//   F 0001 "FlipCam" {F89EB97B-2A47-49B5-A1B1-5E530517CDF6} data=0 B
//   C 0001 "1" -> 0002 "In": mt-block 374 B; {major} / {subtype}; fixed=1 temporal=0 lSampleSize=2764800; {format} cbFormat=88
//   CLOCK 1 {E436EBB1-524F-11CE-9F53-0020AF0BA770}    (or CLOCK 1 0000, or CLOCK none)
//   END at byte 1914
// preceded by a "VERSION 0003" line. The mt-block size is that of the media type as Write
// lays it out. Names are converted to UTF-8.
std::string Dump(const Graph& graph, size_t streamSize);

std::string GuidToString(const Guid& guid);              // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
// Exactly 38 characters, braces included; hex digits in either case.
bool GuidFromString(const std::u16string& text, Guid& guid);
bool GuidFromString(const std::string& text, Guid& guid);

// UTF-16 <-> UTF-8. ToUtf8 writes U+FFFD for an unpaired surrogate; FromUtf8 fails on
// malformed UTF-8 (overlong forms, surrogates, truncated sequences).
std::string ToUtf8(const std::u16string& text);
bool FromUtf8(const std::string& text, std::u16string& out);

}  // namespace grf
