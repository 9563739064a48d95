// Parses the .grf text description (syntax in GrfText.h) into a grf::Graph.
#include "GrfText.h"

#include <dshow.h>

#include <algorithm>
#include <vector>

#include "TestbedIds.h"
#include "WriterInterfaces.h"

namespace grf {
namespace {

struct Alias {
    const char* name;
    const GUID* guid;
};

const Alias kAliases[] = {
    {"writer", &CLSID_WriterFilter}, {"tavrel", &CLSID_TavrelSource}, {"stream", &MEDIATYPE_Stream},
    {"video", &MEDIATYPE_Video},     {"audio", &MEDIATYPE_Audio},     {"null", &GUID_NULL},
    {"none", &FORMAT_None},          {"systemclock", &CLSID_SystemClock},
};

Guid FromPlatform(const GUID& g) {
    Guid guid;
    guid.data1 = g.Data1;
    guid.data2 = g.Data2;
    guid.data3 = g.Data3;
    for (int i = 0; i < 8; ++i) guid.data4[i] = g.Data4[i];
    return guid;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

struct Token {
    std::string text;
    bool quoted = false;
};

// Splits a line into blank-separated words and quoted strings; stops at a '#' word.
bool Tokenize(const std::string& line, std::vector<Token>& tokens, std::string& error) {
    size_t i = 0;
    while (true) {
        while (i < line.size() && IsBlank(line[i])) ++i;
        if (i == line.size() || line[i] == '#') return true;
        Token token;
        if (line[i] == '"') {
            const size_t close = line.find('"', i + 1);
            if (close == std::string::npos) {
                error = "unterminated quoted string";
                return false;
            }
            token.text = line.substr(i + 1, close - i - 1);
            token.quoted = true;
            i = close + 1;
            if (i < line.size() && !IsBlank(line[i])) {
                error = "expected a blank after the closing quote";
                return false;
            }
        } else {
            const size_t start = i;
            while (i < line.size() && !IsBlank(line[i])) ++i;
            token.text = line.substr(start, i - start);
        }
        tokens.push_back(token);
    }
}

// The text of a data line: up to a '#' that follows a blank (a trailing comment), without
// trailing blanks. A '#' inside a word ("name=a#1") stays.
std::string DataText(const std::string& rest) {
    size_t end = rest.size();
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '#' && (i == 0 || IsBlank(rest[i - 1]))) {
            end = i;
            break;
        }
    }
    while (end > 0 && IsBlank(rest[end - 1])) --end;
    return rest.substr(0, end);
}

bool ParseUnsigned(const std::string& text, uint32_t& value) {
    if (text.empty() || text.size() > 10) return false;
    uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<uint64_t>(c - '0');
    }
    if (v > 0xFFFFFFFFu) return false;
    value = static_cast<uint32_t>(v);
    return true;
}

bool AppendHex(const std::string& text, std::vector<uint8_t>& bytes) {
    auto nibble = [](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    if (text.size() % 2 != 0) return false;
    for (size_t i = 0; i < text.size(); i += 2) {
        const int high = nibble(text[i]), low = nibble(text[i + 1]);
        if (high < 0 || low < 0) return false;
        bytes.push_back(static_cast<uint8_t>(high * 16 + low));
    }
    return true;
}

class DescriptionParser {
public:
    bool Line(const std::string& line);
    void Finish();
    Graph& Result() { return m_graph; }
    const std::string& Error() const { return m_error; }

private:
    bool Fail(const std::string& message) {
        m_error = message;
        return false;
    }
    bool Word(size_t i, const char* what, std::string& text);
    bool Quoted(size_t i, const char* what, std::u16string& text);
    bool Number(size_t i, const char* what, uint32_t& value);
    bool GuidAt(size_t i, const char* what, Guid& guid);
    bool Flag(size_t i, const char* what, bool& flag);
    bool VersionRecord();
    bool FilterRecord();
    bool DataHexRecord();
    bool ConnectRecord();
    bool ClockRecord();
    Filter* LastFilter() { return m_graph.filters.empty() ? nullptr : &m_graph.filters.back(); }

    Graph m_graph;
    std::vector<Token> m_tokens;
    std::string m_error;
    bool m_clockSeen = false;
};

bool DescriptionParser::Word(size_t i, const char* what, std::string& text) {
    if (i >= m_tokens.size() || m_tokens[i].quoted) return Fail(std::string("expected ") + what);
    text = m_tokens[i].text;
    return true;
}

bool DescriptionParser::Quoted(size_t i, const char* what, std::u16string& text) {
    if (i >= m_tokens.size() || !m_tokens[i].quoted) return Fail(std::string("expected ") + what + " in quotes");
    if (!FromUtf8(m_tokens[i].text, text)) return Fail(std::string(what) + " is not valid UTF-8");
    return true;
}

bool DescriptionParser::Number(size_t i, const char* what, uint32_t& value) {
    std::string text;
    if (!Word(i, what, text)) return false;
    return ParseUnsigned(text, value) || Fail(std::string("expected ") + what + ", got '" + text + "'");
}

bool DescriptionParser::GuidAt(size_t i, const char* what, Guid& guid) {
    std::string text;
    if (!Word(i, what, text)) return false;
    return GuidFromWord(text, guid) || Fail(std::string("expected ") + what + " ({GUID} or alias), got '" + text + "'");
}

bool DescriptionParser::Flag(size_t i, const char* what, bool& flag) {
    std::string text;
    if (!Word(i, what, text)) return false;
    if (text != "0" && text != "1") return Fail(std::string("expected ") + what + " (0 or 1), got '" + text + "'");
    flag = text == "1";
    return true;
}

bool DescriptionParser::VersionRecord() {
    std::string text;
    if (!Word(1, "the version (2 or 3)", text)) return false;
    if (text != "2" && text != "3") return Fail("unsupported version '" + text + "' (2 or 3)");
    if (m_tokens.size() > 2) return Fail("unexpected '" + m_tokens[2].text + "' after the version");
    if (!m_graph.filters.empty() || m_clockSeen) return Fail("version must come before filters and clock");
    m_graph.version = text == "2" ? 2 : 3;
    return true;
}

bool DescriptionParser::FilterRecord() {
    Filter filter;
    if (!Number(1, "a filter id", filter.id) || !Quoted(2, "the filter name", filter.name) ||
        !GuidAt(3, "the filter's CLSID", filter.clsid)) return false;
    if (m_tokens.size() > 4) {
        const Token& kind = m_tokens[4];
        if (kind.quoted || (kind.text != "source" && kind.text != "sink"))
            return Fail("expected source or sink, got '" + kind.text + "'");
        filter.fileKind = kind.text == "source" ? FileKind::Source : FileKind::Sink;
        if (!Quoted(5, "the file name", filter.fileName)) return false;
        if (m_tokens.size() > 6) return Fail("unexpected '" + m_tokens[6].text + "' after the file name");
    }
    m_graph.filters.push_back(filter);
    return true;
}

bool DescriptionParser::DataHexRecord() {
    if (!LastFilter()) return Fail("datahex before any filter");
    for (size_t i = 1; i < m_tokens.size(); ++i) {
        if (m_tokens[i].quoted || !AppendHex(m_tokens[i].text, LastFilter()->data))
            return Fail("expected pairs of hex digits, got '" + m_tokens[i].text + "'");
    }
    return true;
}

bool DescriptionParser::ConnectRecord() {
    Connection c;
    MediaType& mt = c.mediaType;
    if (!Number(1, "the output filter id", c.outFilterId) || !Quoted(2, "the output pin id", c.outPinId) ||
        !Number(3, "the input filter id", c.inFilterId) || !Quoted(4, "the input pin id", c.inPinId) ||
        !GuidAt(5, "the major type", mt.majorType) || !GuidAt(6, "the subtype", mt.subtype) ||
        !Flag(7, "the fixed-size-samples flag", mt.fixedSizeSamples) ||
        !Flag(8, "the temporal-compression flag", mt.temporalCompression) ||
        !Number(9, "the sample size", mt.sampleSize) || !GuidAt(10, "the format type", mt.formatType)) return false;
    for (size_t i = 11; i < m_tokens.size(); ++i) {
        if (m_tokens[i].quoted || !AppendHex(m_tokens[i].text, mt.format))
            return Fail("expected the format bytes in hex, got '" + m_tokens[i].text + "'");
    }
    m_graph.connections.push_back(c);
    return true;
}

bool DescriptionParser::ClockRecord() {
    std::string text;
    if (!Word(1, "a filter id, {CLSID}, alias or none", text)) return false;
    if (m_tokens.size() > 2) return Fail("unexpected '" + m_tokens[2].text + "' after the clock");
    if (m_clockSeen) return Fail("a second clock record");
    m_clockSeen = true;
    Clock& clock = m_graph.clock;
    clock = Clock();
    if (text == "none") return true;
    if (m_graph.version == 2) return Fail("version 2 has no clock");
    clock.present = true;
    clock.required = true;
    if (ParseUnsigned(text, clock.filterId)) return true;
    clock.isClassId = true;
    return GuidFromWord(text, clock.classId) || Fail("expected a filter id, {CLSID}, alias or none, got '" + text + "'");
}

bool DescriptionParser::Line(const std::string& line) {
    // A data line's text is not tokenized: quotes and '#' inside it are data.
    size_t start = 0;
    while (start < line.size() && IsBlank(line[start])) ++start;
    if (line.compare(start, 4, "data") == 0 && (line.size() == start + 4 || IsBlank(line[start + 4]))) {
        if (!LastFilter()) return Fail("data before any filter");
        const std::string text = DataText(line.substr(std::min(line.size(), start + 5)));
        LastFilter()->data.insert(LastFilter()->data.end(), text.begin(), text.end());
        LastFilter()->data.push_back('\n');
        return true;
    }
    m_tokens.clear();
    if (!Tokenize(line, m_tokens, m_error)) return false;
    if (m_tokens.empty()) return true;
    const std::string keyword = m_tokens[0].quoted ? std::string() : m_tokens[0].text;
    if (keyword == "version") return VersionRecord();
    if (keyword == "filter") return FilterRecord();
    if (keyword == "datahex") return DataHexRecord();
    if (keyword == "connect") return ConnectRecord();
    if (keyword == "clock") return ClockRecord();
    return Fail("unknown record '" + m_tokens[0].text + "'");
}

void DescriptionParser::Finish() {
    if (!m_clockSeen && m_graph.version == 3) {
        m_graph.clock.present = true;
        m_graph.clock.required = true;
    }
}

}  // namespace

bool GuidFromWord(const std::string& word, Guid& guid) {
    for (const Alias& alias : kAliases) {
        if (word == alias.name) {
            guid = FromPlatform(*alias.guid);
            return true;
        }
    }
    return GuidFromString(word, guid);
}

bool ParseDescription(const std::string& utf8Text, Graph& graph, std::string& error) {
    DescriptionParser parser;
    size_t pos = utf8Text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    for (int number = 1; pos <= utf8Text.size(); ++number) {
        size_t end = utf8Text.find('\n', pos);
        if (end == std::string::npos) end = utf8Text.size();
        std::string line = utf8Text.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!parser.Line(line)) {
            error = "line " + std::to_string(number) + ": " + parser.Error();
            return false;
        }
        pos = end + 1;
    }
    parser.Finish();
    graph = std::move(parser.Result());
    return true;
}

}  // namespace grf
