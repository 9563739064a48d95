// Writes a grf::Graph in the exact layout real GraphEdit files have, dumps it readably,
// and converts GUIDs and text. The parser is in GrfParse.cpp.
#include "GrfFormat.h"

#include <cstdio>

namespace grf {
namespace {

// Appends UTF-16LE text and raw blocks to a byte buffer.
class Writer {
public:
    std::vector<uint8_t>& Bytes() { return m_out; }

    void Unit(char16_t unit) {
        m_out.push_back(static_cast<uint8_t>(unit & 0xFF));
        m_out.push_back(static_cast<uint8_t>(unit >> 8));
    }
    void Ascii(const char* text) {
        for (; *text; ++text) Unit(static_cast<char16_t>(*text));
    }
    void Text(const std::u16string& text) {
        for (char16_t unit : text) Unit(unit);
    }
    void Quoted(const std::u16string& text) {
        Unit(u'"');
        Text(text);
        Unit(u'"');
    }
    // Zero-padded decimal: 4 digits for ids, 10 for lengths and sizes.
    void Number(uint64_t value, int width) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%0*llu", width, static_cast<unsigned long long>(value));
        Ascii(buffer);
    }
    void GuidText(const Guid& guid) { Ascii(GuidToString(guid).c_str()); }
    void Block(const std::vector<uint8_t>& block) { m_out.insert(m_out.end(), block.begin(), block.end()); }

private:
    std::vector<uint8_t> m_out;
};

// Every byte that the media type's length counts: from {major} to the end of the format block.
std::vector<uint8_t> MediaTypeBlock(const MediaType& mt) {
    Writer w;
    w.GuidText(mt.majorType);
    w.Unit(u' ');
    w.GuidText(mt.subtype);
    w.Ascii(mt.fixedSizeSamples ? " 1" : " 0");
    w.Ascii(mt.temporalCompression ? " 1 " : " 0 ");
    w.Number(mt.sampleSize, 10);
    w.Unit(u'\0');
    w.GuidText(mt.formatType);
    w.Unit(u' ');
    w.Number(mt.format.size(), 10);
    w.Unit(u' ');
    w.Block(mt.format);
    return std::move(w.Bytes());
}

void WriteFilter(Writer& w, const Filter& filter) {
    w.Number(filter.id, 4);
    w.Unit(u' ');
    w.Quoted(filter.name);
    w.Unit(u' ');
    w.GuidText(filter.clsid);
    w.Unit(u' ');
    if (filter.fileKind != FileKind::None) {
        w.Ascii(filter.fileKind == FileKind::Source ? "SOURCE " : "SINK ");
        w.Quoted(filter.fileName);
        w.Unit(u' ');
    }
    // The space after the length stays even when the block is empty ("0000000000 \r\n").
    w.Number(filter.data.size(), 10);
    w.Unit(u' ');
    w.Block(filter.data);
    w.Ascii("\r\n");
}

void WriteConnection(Writer& w, const Connection& connection) {
    w.Number(connection.outFilterId, 4);
    w.Unit(u' ');
    w.Quoted(connection.outPinId);
    w.Unit(u' ');
    w.Number(connection.inFilterId, 4);
    w.Unit(u' ');
    w.Quoted(connection.inPinId);
    w.Unit(u' ');
    const std::vector<uint8_t> block = MediaTypeBlock(connection.mediaType);
    w.Number(block.size(), 10);
    w.Unit(u' ');
    w.Block(block);
    w.Ascii("\r\n");
}

std::string ClockText(const Clock& clock) {
    if (!clock.present) return "CLOCK none";
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04u", static_cast<unsigned>(clock.filterId));
    return std::string("CLOCK ") + (clock.required ? "1 " : "0 ") +
           (clock.isClassId ? GuidToString(clock.classId) : std::string(buffer));
}

int HexValue(char16_t unit) {
    if (unit >= u'0' && unit <= u'9') return unit - u'0';
    if (unit >= u'A' && unit <= u'F') return unit - u'A' + 10;
    if (unit >= u'a' && unit <= u'f') return unit - u'a' + 10;
    return -1;
}

// Reads `digits` hex digits at `pos` of a braced GUID string.
bool HexField(const std::u16string& text, size_t pos, int digits, uint32_t& value) {
    value = 0;
    for (int i = 0; i < digits; ++i) {
        const int nibble = HexValue(text[pos + i]);
        if (nibble < 0) return false;
        value = (value << 4) | static_cast<uint32_t>(nibble);
    }
    return true;
}

}  // namespace

bool Guid::operator==(const Guid& other) const {
    for (int i = 0; i < 8; ++i) {
        if (data4[i] != other.data4[i]) return false;
    }
    return data1 == other.data1 && data2 == other.data2 && data3 == other.data3;
}

std::string GuidToString(const Guid& guid) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(guid.data1), guid.data2, guid.data3, guid.data4[0], guid.data4[1],
                  guid.data4[2], guid.data4[3], guid.data4[4], guid.data4[5], guid.data4[6], guid.data4[7]);
    return buffer;
}

bool GuidFromString(const std::u16string& text, Guid& guid) {
    // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}: braces at 0 and 37, hyphens at 9, 14, 19, 24.
    if (text.size() != 38 || text[0] != u'{' || text[37] != u'}') return false;
    if (text[9] != u'-' || text[14] != u'-' || text[19] != u'-' || text[24] != u'-') return false;
    Guid parsed;
    uint32_t value = 0;
    if (!HexField(text, 1, 8, parsed.data1)) return false;
    if (!HexField(text, 10, 4, value)) return false;
    parsed.data2 = static_cast<uint16_t>(value);
    if (!HexField(text, 15, 4, value)) return false;
    parsed.data3 = static_cast<uint16_t>(value);
    static const size_t kData4Pos[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int i = 0; i < 8; ++i) {
        if (!HexField(text, kData4Pos[i], 2, value)) return false;
        parsed.data4[i] = static_cast<uint8_t>(value);
    }
    guid = parsed;
    return true;
}

bool GuidFromString(const std::string& text, Guid& guid) {
    return GuidFromString(std::u16string(text.begin(), text.end()), guid);
}

std::vector<uint8_t> Write(const Graph& graph) {
    Writer w;
    w.Ascii(graph.version == 2 ? "0002\r\n" : "0003\r\n");
    w.Ascii("FILTERS\r\n");
    for (const Filter& filter : graph.filters) WriteFilter(w, filter);
    w.Ascii("CONNECTIONS\r\n");
    for (const Connection& connection : graph.connections) WriteConnection(w, connection);
    if (graph.version != 2 && graph.clock.present) {
        w.Ascii(ClockText(graph.clock).c_str());
        w.Ascii("\r\n");
    }
    w.Ascii("END");
    return std::move(w.Bytes());
}

std::string Dump(const Graph& graph, size_t streamSize) {
    std::string out = graph.version == 2 ? "VERSION 0002\n" : "VERSION 0003\n";
    char buffer[160];
    for (const Filter& f : graph.filters) {
        std::snprintf(buffer, sizeof buffer, "F %04u ", static_cast<unsigned>(f.id));
        out += buffer + ("\"" + ToUtf8(f.name) + "\" " + GuidToString(f.clsid));
        if (f.fileKind != FileKind::None)
            out += (f.fileKind == FileKind::Source ? " SOURCE \"" : " SINK \"") + ToUtf8(f.fileName) + "\"";
        out += " data=" + std::to_string(f.data.size()) + " B\n";
    }
    for (const Connection& c : graph.connections) {
        const MediaType& mt = c.mediaType;
        std::snprintf(buffer, sizeof buffer, "C %04u \"", static_cast<unsigned>(c.outFilterId));
        out += buffer + ToUtf8(c.outPinId);
        std::snprintf(buffer, sizeof buffer, "\" -> %04u \"", static_cast<unsigned>(c.inFilterId));
        out += buffer + ToUtf8(c.inPinId) + "\": mt-block " + std::to_string(MediaTypeBlock(mt).size()) + " B; ";
        out += GuidToString(mt.majorType) + " / " + GuidToString(mt.subtype) + "; ";
        std::snprintf(buffer, sizeof buffer, "fixed=%d temporal=%d lSampleSize=%u; ", mt.fixedSizeSamples ? 1 : 0,
                      mt.temporalCompression ? 1 : 0, static_cast<unsigned>(mt.sampleSize));
        out += buffer + GuidToString(mt.formatType) + " cbFormat=" + std::to_string(mt.format.size()) + "\n";
    }
    if (graph.version != 2) out += ClockText(graph.clock) + "\n";
    out += "END at byte " + std::to_string(streamSize) + "\n";
    return out;
}

std::string ToUtf8(const std::u16string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t cp = text[i];
        const bool high = cp >= 0xD800 && cp <= 0xDBFF;
        if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[++i] - 0xDC00);
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;  // an unpaired surrogate has no UTF-8 form
        }
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

bool FromUtf8(const std::string& text, std::u16string& out) {
    out.clear();
    for (size_t i = 0; i < text.size();) {
        const uint8_t lead = static_cast<uint8_t>(text[i]);
        const int extra = lead < 0x80 ? 0 : (lead & 0xE0) == 0xC0 ? 1 : (lead & 0xF0) == 0xE0 ? 2 : (lead & 0xF8) == 0xF0 ? 3 : -1;
        if (extra < 0 || text.size() - i <= static_cast<size_t>(extra)) return false;
        uint32_t cp = extra == 0 ? lead : lead & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k) {
            const uint8_t next = static_cast<uint8_t>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (next & 0x3F);
        }
        static const uint32_t kMinimum[4] = {0, 0x80, 0x800, 0x10000};
        if (cp < kMinimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        if (cp >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
        i += static_cast<size_t>(extra) + 1;
    }
    return true;
}

}  // namespace grf
