// Reads the "ActiveMovieGraph" stream into a grf::Graph.
//
// The stream is UTF-16LE text with binary blocks in it. A binary block of odd length
// leaves the text after it at odd byte offsets, so the reader works over bytes and
// assembles each code unit from two bytes wherever it sits. Every read checks the
// remaining size first; every loop consumes at least one code unit or fails, so no
// input can make the parser read out of bounds or spin.
#include "GrfFormat.h"

#include <cstring>
#include <limits>

namespace grf {
namespace {

constexpr uint64_t kMaxUint32 = std::numeric_limits<uint32_t>::max();
constexpr int kNoUnit = -1;

bool IsBlank(int unit) {
    return unit == ' ' || unit == '\t' || unit == '\r' || unit == '\n';
}

bool IsWordUnit(int unit) {
    return (unit >= '0' && unit <= '9') || (unit >= 'A' && unit <= 'Z') || (unit >= 'a' && unit <= 'z');
}

class Reader {
public:
    Reader(const uint8_t* data, size_t size, ParseError& error)
        : m_data(data), m_size(size), m_error(error) {}

    size_t Offset() const { return m_pos; }
    bool AtEndOfBytes() const { return m_pos == m_size; }

    // The code unit at the current offset, or kNoUnit when fewer than two bytes remain.
    int Peek() const {
        if (m_size - m_pos < 2) return kNoUnit;
        return m_data[m_pos] | (m_data[m_pos + 1] << 8);
    }
    void Advance() { m_pos += 2; }

    void SkipBlanks() {
        while (IsBlank(Peek())) Advance();
    }

    bool Fail(const char* message) {
        m_error.offset = m_pos;
        m_error.message = message;
        if (Peek() == kNoUnit) m_error.message += " (stream truncated)";
        return false;
    }

    bool FailAtNextToken(const char* message) {
        SkipBlanks();
        return Fail(message);
    }

    // Whether the ASCII keyword comes next (after blanks) as a whole word; consumes it if so.
    bool Keyword(const char* word, bool consume = true) {
        const size_t start = m_pos;
        SkipBlanks();
        for (const char* p = word; *p; ++p) {
            if (Peek() != *p) {
                m_pos = start;
                return false;
            }
            Advance();
        }
        const bool whole = !IsWordUnit(Peek());
        if (!whole || !consume) m_pos = start;
        return whole;
    }

    bool Number(uint64_t max, uint64_t& value, const char* what) {
        SkipBlanks();
        const size_t start = m_pos;
        value = 0;
        for (int unit = Peek(); unit >= '0' && unit <= '9'; unit = Peek()) {
            value = value * 10 + static_cast<uint64_t>(unit - '0');
            if (value > max) {
                m_pos = start;
                return Fail(what);
            }
            Advance();
        }
        return m_pos != start || Fail(what);
    }

    bool Quoted(std::u16string& text, const char* what) {
        SkipBlanks();
        if (Peek() != '"') return Fail(what);
        const size_t start = m_pos;
        Advance();
        text.clear();
        for (int unit = Peek(); unit != '"'; unit = Peek()) {
            if (unit == kNoUnit) {
                m_pos = start;
                return Fail("unterminated quoted string (stream truncated)");
            }
            text.push_back(static_cast<char16_t>(unit));
            Advance();
        }
        Advance();
        return true;
    }

    bool GuidToken(Guid& guid, const char* what) {
        SkipBlanks();
        const size_t start = m_pos;
        std::u16string text;
        for (int i = 0; i < 38 && Peek() != kNoUnit; ++i) {
            text.push_back(static_cast<char16_t>(Peek()));
            Advance();
        }
        if (!GuidFromString(text, guid)) {
            m_pos = start;
            return Fail(what);
        }
        return true;
    }

    // The single space between a length and the binary block it counts.
    bool BlockSeparator(const char* what) {
        if (Peek() != ' ') return Fail(what);
        Advance();
        return true;
    }

    bool Bytes(uint64_t count, std::vector<uint8_t>& bytes, const char* what) {
        if (count > m_size - m_pos) return Fail(what);
        bytes.assign(m_data + m_pos, m_data + m_pos + count);
        m_pos += static_cast<size_t>(count);
        return true;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
    ParseError& m_error;
};

bool ParseFilter(Reader& reader, Filter& filter) {
    uint64_t id = 0, length = 0;
    if (!reader.Number(kMaxUint32, id, "expected a filter id")) return false;
    filter.id = static_cast<uint32_t>(id);
    if (!reader.Quoted(filter.name, "expected the quoted filter name")) return false;
    if (!reader.GuidToken(filter.clsid, "expected the filter's {CLSID}")) return false;
    if (reader.Keyword("SOURCE")) filter.fileKind = FileKind::Source;
    else if (reader.Keyword("SINK")) filter.fileKind = FileKind::Sink;
    if (filter.fileKind != FileKind::None &&
        !reader.Quoted(filter.fileName, "expected the quoted file name")) return false;
    if (!reader.Number(kMaxUint32, length, "expected the filter data length")) return false;
    if (!reader.BlockSeparator("expected one space before the filter data")) return false;
    return reader.Bytes(length, filter.data, "filter data runs past the end of the stream");
}

// Real files put a NUL code unit between the sample size and the format type; the
// published grammar has blanks there. Either is accepted.
bool FormatTypeSeparator(Reader& reader) {
    if (reader.Peek() == 0) {
        reader.Advance();
        return true;
    }
    if (!IsBlank(reader.Peek())) return reader.Fail("expected NUL or blank before the format type");
    reader.SkipBlanks();
    return true;
}

bool ParseMediaType(Reader& reader, MediaType& mt) {
    uint64_t blockLength = 0, flag = 0, value = 0;
    if (!reader.Number(kMaxUint32, blockLength, "expected the media type length")) return false;
    reader.SkipBlanks();
    const size_t blockStart = reader.Offset();
    if (!reader.GuidToken(mt.majorType, "expected the {major type}")) return false;
    if (!reader.GuidToken(mt.subtype, "expected the {subtype}")) return false;
    if (!reader.Number(1, flag, "expected the fixed-size-samples flag (0 or 1)")) return false;
    mt.fixedSizeSamples = flag != 0;
    if (!reader.Number(1, flag, "expected the temporal-compression flag (0 or 1)")) return false;
    mt.temporalCompression = flag != 0;
    if (!reader.Number(kMaxUint32, value, "expected the sample size")) return false;
    mt.sampleSize = static_cast<uint32_t>(value);
    if (!FormatTypeSeparator(reader)) return false;
    if (!reader.GuidToken(mt.formatType, "expected the {format type}")) return false;
    if (!reader.Number(kMaxUint32, value, "expected the format length")) return false;
    if (!reader.BlockSeparator("expected one space before the format block")) return false;
    if (!reader.Bytes(value, mt.format, "format block runs past the end of the stream")) return false;
    if (reader.Offset() - blockStart != blockLength) return reader.Fail("media type length does not match its content");
    return true;
}

bool ParseConnection(Reader& reader, Connection& connection) {
    uint64_t id = 0;
    if (!reader.Number(kMaxUint32, id, "expected the output filter id")) return false;
    connection.outFilterId = static_cast<uint32_t>(id);
    if (!reader.Quoted(connection.outPinId, "expected the quoted output pin id")) return false;
    if (!reader.Number(kMaxUint32, id, "expected the input filter id")) return false;
    connection.inFilterId = static_cast<uint32_t>(id);
    if (!reader.Quoted(connection.inPinId, "expected the quoted input pin id")) return false;
    return ParseMediaType(reader, connection.mediaType);
}

bool ParseClock(Reader& reader, Clock& clock) {
    uint64_t value = 0;
    if (!reader.Number(1, value, "expected the clock-required flag (0 or 1)")) return false;
    clock.present = true;
    clock.required = value != 0;
    reader.SkipBlanks();
    if (reader.Peek() == '{') {
        clock.isClassId = true;
        return reader.GuidToken(clock.classId, "expected the clock's {CLSID}");
    }
    if (!reader.Number(kMaxUint32, value, "expected the clock's filter id or {CLSID}")) return false;
    clock.filterId = static_cast<uint32_t>(value);
    return true;
}

bool ParseGraph(Reader& reader, Graph& graph) {
    uint64_t version = 0;
    if (!reader.Number(9999, version, "expected the version (0002 or 0003)")) return false;
    if (version != 2 && version != 3) return reader.Fail("unsupported version (expected 0002 or 0003)");
    graph.version = static_cast<int>(version);
    if (!reader.Keyword("FILTERS")) return reader.FailAtNextToken("expected FILTERS");
    while (!reader.Keyword("CONNECTIONS")) {
        graph.filters.emplace_back();
        if (!ParseFilter(reader, graph.filters.back())) return false;
    }
    while (!reader.Keyword("CLOCK", false) && !reader.Keyword("END", false)) {
        graph.connections.emplace_back();
        if (!ParseConnection(reader, graph.connections.back())) return false;
    }
    if (reader.Keyword("CLOCK", false)) {
        if (graph.version == 2) return reader.FailAtNextToken("version 0002 has no CLOCK");
        reader.Keyword("CLOCK");
        if (!ParseClock(reader, graph.clock)) return false;
    }
    if (!reader.Keyword("END")) return reader.FailAtNextToken("expected END");
    reader.SkipBlanks();
    if (!reader.AtEndOfBytes()) return reader.Fail("unexpected data after END");
    return true;
}

}  // namespace

bool Parse(const uint8_t* data, size_t size, Graph& graph, ParseError& error) {
    error = ParseError();
    if (data == nullptr && size != 0) {
        error.message = "no data";
        return false;
    }
    Reader reader(data, size, error);
    Graph parsed;
    if (!ParseGraph(reader, parsed)) return false;
    graph = std::move(parsed);
    return true;
}

}  // namespace grf
