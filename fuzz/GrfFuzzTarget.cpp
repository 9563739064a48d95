// The libFuzzer entry point over the GraphEdit stream parser, shared by grf_fuzz (the
// fuzzing engine) and grf_corpus_check (runs each corpus file once).
//
// Besides "no crash, no sanitizer report", every input is held to what the parser's
// callers rely on:
// - a rejected stream reports an offset inside the stream and a message, and leaves the
//   caller's graph as it was;
// - an accepted stream, written back with grf::Write, parses again to an equal graph, and
//   writing that graph gives the same bytes (Write is a fixed point after one round);
// - Dump of an accepted graph gives its VERSION line and its END line;
// - the UTF-8 conversion the dump and the text description use round-trips every name.
// The same bytes are also fed to FromUtf8, whose accepted inputs must come back unchanged
// through ToUtf8. A broken property aborts with a message, which libFuzzer records as a crash.
#include "GrfFuzzTarget.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "GrfFormat.h"

namespace {

[[noreturn]] void Broken(const char* property, const std::string& detail = std::string()) {
    std::fprintf(stderr, "grf property broken: %s %s\n", property, detail.c_str());
    std::abort();
}

bool SameMediaType(const grf::MediaType& a, const grf::MediaType& b) {
    return a.majorType == b.majorType && a.subtype == b.subtype && a.fixedSizeSamples == b.fixedSizeSamples &&
           a.temporalCompression == b.temporalCompression && a.sampleSize == b.sampleSize &&
           a.formatType == b.formatType && a.format == b.format;
}

bool SameFilter(const grf::Filter& a, const grf::Filter& b) {
    return a.id == b.id && a.name == b.name && a.clsid == b.clsid && a.fileKind == b.fileKind &&
           a.fileName == b.fileName && a.data == b.data;
}

bool SameConnection(const grf::Connection& a, const grf::Connection& b) {
    return a.outFilterId == b.outFilterId && a.outPinId == b.outPinId && a.inFilterId == b.inFilterId &&
           a.inPinId == b.inPinId && SameMediaType(a.mediaType, b.mediaType);
}

bool SameClock(const grf::Clock& a, const grf::Clock& b) {
    return a.present == b.present && a.required == b.required && a.isClassId == b.isClassId &&
           a.filterId == b.filterId && a.classId == b.classId;
}

bool SameGraph(const grf::Graph& a, const grf::Graph& b) {
    if (a.version != b.version || !SameClock(a.clock, b.clock)) return false;
    if (a.filters.size() != b.filters.size() || a.connections.size() != b.connections.size()) return false;
    for (size_t i = 0; i < a.filters.size(); ++i) {
        if (!SameFilter(a.filters[i], b.filters[i])) return false;
    }
    for (size_t i = 0; i < a.connections.size(); ++i) {
        if (!SameConnection(a.connections[i], b.connections[i])) return false;
    }
    return true;
}

// A graph no stream can produce (version 7), so a failed parse that touched it shows.
grf::Graph Sentinel() {
    grf::Graph graph;
    graph.version = 7;
    graph.filters.resize(1);
    graph.filters[0].name = u"sentinel";
    graph.clock.present = true;
    graph.clock.filterId = 4242;
    return graph;
}

bool HasLoneSurrogate(const std::u16string& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            return true;
        }
    }
    return false;
}

// ToUtf8 always gives valid UTF-8 (U+FFFD for a lone surrogate); text without lone
// surrogates comes back exactly.
void CheckUtf8RoundTrip(const std::u16string& text) {
    std::u16string back;
    if (!grf::FromUtf8(grf::ToUtf8(text), back)) Broken("ToUtf8 produced UTF-8 that FromUtf8 rejects");
    if (!HasLoneSurrogate(text) && back != text) Broken("UTF-16 -> UTF-8 -> UTF-16 changed the text");
}

void CheckAcceptedGraph(const grf::Graph& graph, size_t streamSize) {
    const std::vector<uint8_t> written = grf::Write(graph);
    grf::Graph reparsed;
    grf::ParseError error;
    if (!grf::Parse(written.data(), written.size(), reparsed, error))
        Broken("Write produced a stream Parse rejects:", error.message + " at " + std::to_string(error.offset));
    if (!SameGraph(graph, reparsed)) Broken("Write then Parse changed the graph");
    if (grf::Write(reparsed) != written) Broken("Write is not stable after one round");

    const std::string dump = grf::Dump(graph, streamSize);
    if (dump.compare(0, 8, "VERSION ") != 0) Broken("Dump does not start with VERSION", dump);
    if (dump.find("END at byte " + std::to_string(streamSize) + "\n") == std::string::npos)
        Broken("Dump does not end with the END line", dump);

    for (const grf::Filter& filter : graph.filters) {
        CheckUtf8RoundTrip(filter.name);
        CheckUtf8RoundTrip(filter.fileName);
        grf::Guid back;
        if (!grf::GuidFromString(grf::GuidToString(filter.clsid), back) || back != filter.clsid)
            Broken("GUID text round trip", grf::GuidToString(filter.clsid));
    }
    for (const grf::Connection& connection : graph.connections) {
        CheckUtf8RoundTrip(connection.outPinId);
        CheckUtf8RoundTrip(connection.inPinId);
    }
}

void CheckParse(const uint8_t* data, size_t size) {
    grf::Graph graph = Sentinel();
    grf::ParseError error;
    if (!grf::Parse(data, size, graph, error)) {
        if (error.offset > size) Broken("error offset past the end:", std::to_string(error.offset));
        if (error.message.empty()) Broken("rejected without a message");
        if (!SameGraph(graph, Sentinel())) Broken("a failed parse changed the caller's graph");
        return;
    }
    if (graph.version != 2 && graph.version != 3) Broken("accepted version", std::to_string(graph.version));
    CheckAcceptedGraph(graph, size);
}

void CheckFromUtf8(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::u16string wide;
    if (!grf::FromUtf8(text, wide)) return;
    if (HasLoneSurrogate(wide)) Broken("FromUtf8 produced a lone surrogate");
    if (grf::ToUtf8(wide) != text) Broken("UTF-8 accepted by FromUtf8 does not come back through ToUtf8");
}

}  // namespace

bool GrfAccepts(const uint8_t* data, size_t size) {
    grf::Graph graph;
    grf::ParseError error;
    return grf::Parse(data, size, graph, error);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CheckParse(data, size);
    CheckFromUtf8(data, size);
    return 0;
}
