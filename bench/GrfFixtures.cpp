#include "GrfFixtures.h"

#include <dshow.h>

#include <algorithm>
#include <string>

#include "GrfFile.h"
#include "GrfTypes.h"
#include "TestbedIds.h"
#include "WriterInterfaces.h"

namespace bench {
namespace {

std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

std::u16string Name(const char* pszPrefix, int n) {
    std::string text = pszPrefix + std::to_string(n);
    return std::u16string(text.begin(), text.end());
}

// The writer's input pins are "In", "In 2", "In 3", ...
std::u16string InputPinId(int nInput) { return nInput == 1 ? u"In" : u"In " + Name("", nInput); }

grf::MediaType StreamType() {
    grf::MediaType mt;
    mt.majorType = grfpersist::FromGuid(MEDIATYPE_Stream);
    mt.subtype = grfpersist::FromGuid(MEDIASUBTYPE_NULL);
    mt.fixedSizeSamples = true;
    mt.sampleSize = 65536;
    mt.formatType = grfpersist::FromGuid(FORMAT_None);
    return mt;
}

}  // namespace

grf::Graph MakeWriterGraph(int cFilters) {
    grf::Graph graph;
    graph.version = 3;
    graph.clock.present = true;
    graph.clock.required = true;  // CLOCK 1 0000: the graph's default clock
    uint32_t id = 0;
    for (int nGroup = 1; static_cast<int>(id) < cFilters; ++nGroup) {
        const int cSources = std::min(kSourcesPerWriter, cFilters - static_cast<int>(id) - 1);
        grf::Filter writer;
        writer.id = ++id;
        writer.name = Name("Writer ", nGroup);
        writer.clsid = grfpersist::FromGuid(CLSID_WriterFilter);
        writer.data = Bytes("inputs=" + std::to_string(std::max(cSources, 1)) + "\ninterleaving=1000\n");
        graph.filters.push_back(writer);
        const uint32_t writerId = writer.id;
        for (int nSource = 1; nSource <= cSources; ++nSource) {
            grf::Filter source;
            source.id = ++id;
            source.name = Name("Source ", static_cast<int>(source.id));
            source.clsid = grfpersist::FromGuid(CLSID_TavrelSource);
            source.data = Bytes("rate=2000000\nsample=65536\n");
            graph.filters.push_back(source);

            grf::Connection connection;
            connection.outFilterId = source.id;
            connection.outPinId = u"Out";
            connection.inFilterId = writerId;
            connection.inPinId = InputPinId(nSource);
            connection.mediaType = StreamType();
            graph.connections.push_back(connection);
        }
    }
    return graph;
}

HRESULT WriteGraphFile(const std::wstring& path, const grf::Graph& graph) {
    return grf::WriteGrfFile(path.c_str(), grf::Write(graph));
}

}  // namespace bench
