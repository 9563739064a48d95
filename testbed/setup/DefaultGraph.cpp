#include "DefaultGraph.h"

#include <windows.h>

#include <dshow.h>

#include <cstring>
#include <string>

#include "GrfFile.h"
#include "GrfTypes.h"
#include "TestbedIds.h"
#include "WriterInterfaces.h"

namespace tbsetup {
namespace {

using grfpersist::FromGuid;

std::vector<uint8_t> Bytes(const char* pszText) {
    return std::vector<uint8_t>(pszText, pszText + std::strlen(pszText));
}

// The writer's identity as the writer stand-in reads it from its filter data. Its platform is
// that of this build, whose writer this program registers: 64-bit, or 32-bit in the x86 build.
const char kWriterIdentity[] =
    "name=Lathmere MPEG-4 Writer\n"
    "number=2.1.0.7\n"
    "date=2024-05-17 10:30:00\n"
    "type=1\n"
#ifdef _WIN64
    "os=1\n";
#else
    "os=0\n";
#endif

// Creates every missing folder of a path, from the drive down.
HRESULT CreateFolders(const std::wstring& folder) {
    for (size_t pos = folder.find(L'\\', 3); ; pos = folder.find(L'\\', pos + 1)) {
        std::wstring part = folder.substr(0, pos);
        if (!::CreateDirectoryW(part.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS)
            return HRESULT_FROM_WIN32(::GetLastError());
        if (pos == std::wstring::npos) return S_OK;
    }
}

HRESULT CreateFolderOf(const wchar_t* pszPath) {
    std::wstring path(pszPath);
    size_t slash = path.find_last_of(L'\\');
    if (slash == std::wstring::npos || slash < 3) return E_INVALIDARG;
    return CreateFolders(path.substr(0, slash));
}

}  // namespace

grf::Graph MakeDefaultGraph() {
    grf::Graph graph;
    graph.version = 3;

    grf::Filter source;
    source.id = 1;
    source.name = u"Tavrel";
    source.clsid = FromGuid(CLSID_TavrelSource);
    graph.filters.push_back(source);

    grf::Filter writer;
    writer.id = 2;
    writer.name = u"Lathmere writer";
    writer.clsid = FromGuid(CLSID_WriterFilter);
    writer.fileKind = grf::FileKind::Sink;
    writer.fileName = grfpersist::FromWide(kDefaultOutputFile);
    writer.data = Bytes(kWriterIdentity);
    graph.filters.push_back(writer);

    grf::Connection connection;
    connection.outFilterId = 1;
    connection.outPinId = u"Out";
    connection.inFilterId = 2;
    connection.inPinId = u"In";
    connection.mediaType.majorType = FromGuid(MEDIATYPE_Stream);
    connection.mediaType.subtype = FromGuid(MEDIASUBTYPE_NULL);
    connection.mediaType.fixedSizeSamples = true;
    connection.mediaType.temporalCompression = false;
    connection.mediaType.sampleSize = 65536;
    connection.mediaType.formatType = FromGuid(FORMAT_None);
    graph.connections.push_back(connection);

    graph.clock.present = true;
    graph.clock.required = true;
    graph.clock.filterId = 0;  // the graph's default clock
    return graph;
}

HRESULT WriteDefaultGraph(const wchar_t* pszGraphPath) {
    HRESULT hr = CreateFolderOf(pszGraphPath);
    if (FAILED(hr)) return hr;
    hr = CreateFolderOf(kDefaultOutputFile);
    if (FAILED(hr)) return hr;
    return grf::WriteGrfFile(pszGraphPath, grf::Write(MakeDefaultGraph()));
}

}  // namespace tbsetup
