// grf.exe: writes .grf files from the text description and dumps them readably.
//
//   grf write <description.txt> <out.grf>
//   grf dump <file.grf>
//   grf dump --stream <raw ActiveMovieGraph stream>
//
// Exit codes: 0 done, 1 the input was bad or a file could not be read or written, 2 usage.
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "GrfFile.h"
#include "GrfFormat.h"
#include "GrfText.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

std::string Utf8(const wchar_t* psz) {
    std::u16string wide;
    for (; *psz; ++psz) wide.push_back(static_cast<char16_t>(*psz));
    return grf::ToUtf8(wide);
}

int Usage() {
    std::fputs("usage: grf write <description.txt> <out.grf>\n"
               "       grf dump <file.grf>\n"
               "       grf dump --stream <raw stream file>\n", stderr);
    return kExitUsage;
}

int Failed(const std::string& message) {
    std::fprintf(stderr, "grf: %s\n", message.c_str());
    return kExitFailed;
}

// The status in hex, with a word on the structured-storage codes a user meets most.
std::string HrText(HRESULT hr) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%08lX", static_cast<unsigned long>(hr));
    std::string text = buffer;
    switch (hr) {
    case STG_E_FILENOTFOUND: return text + " (file not found)";
    case STG_E_PATHNOTFOUND: return text + " (path not found)";
    case STG_E_FILEALREADYEXISTS: return text + " (not a compound file)";
    case STG_E_SHAREVIOLATION:
    case STG_E_LOCKVIOLATION: return text + " (the file is in use)";
    case STG_E_ACCESSDENIED: return text + " (access denied)";
    default: return text;
    }
}

bool ReadWholeFile(const wchar_t* pszPath, std::vector<uint8_t>& bytes, std::string& error) {
    FILE* file = _wfopen(pszPath, L"rb");
    if (!file) {
        error = "cannot read " + Utf8(pszPath) + ": " + std::strerror(errno);
        return false;
    }
    bytes.clear();
    uint8_t buffer[4096];
    size_t cb = 0;
    while ((cb = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.insert(bytes.end(), buffer, buffer + cb);
    const bool ok = !std::ferror(file);
    std::fclose(file);
    if (!ok) error = "cannot read " + Utf8(pszPath);
    return ok;
}

int WriteCommand(const wchar_t* pszDescription, const wchar_t* pszOut) {
    std::vector<uint8_t> text;
    std::string error;
    if (!ReadWholeFile(pszDescription, text, error)) return Failed(error);
    grf::Graph graph;
    if (!grf::ParseDescription(std::string(text.begin(), text.end()), graph, error))
        return Failed(Utf8(pszDescription) + ": " + error);
    const HRESULT hr = grf::WriteGrfFile(pszOut, grf::Write(graph));
    if (FAILED(hr)) return Failed("cannot write " + Utf8(pszOut) + ": " + HrText(hr));
    return kExitOk;
}

int DumpCommand(const wchar_t* pszPath, bool rawStream) {
    std::vector<uint8_t> stream;
    if (rawStream) {
        std::string error;
        if (!ReadWholeFile(pszPath, stream, error)) return Failed(error);
    } else {
        const HRESULT hr = grf::ReadGrfFile(pszPath, stream);
        if (FAILED(hr)) return Failed("cannot read the graph stream of " + Utf8(pszPath) + ": " + HrText(hr));
    }
    grf::Graph graph;
    grf::ParseError error;
    if (!grf::Parse(stream.data(), stream.size(), graph, error))
        return Failed(Utf8(pszPath) + ": byte " + std::to_string(error.offset) + ": " + error.message);
    const std::string dump = grf::Dump(graph, stream.size());
    std::fwrite(dump.data(), 1, dump.size(), stdout);
    return kExitOk;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    ::SetConsoleOutputCP(CP_UTF8);  // names are printed as UTF-8
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"write" && argc == 4) return WriteCommand(argv[2], argv[3]);
    if (command == L"dump" && argc == 3) return DumpCommand(argv[2], false);
    if (command == L"dump" && argc == 4 && std::wstring(argv[2]) == L"--stream") return DumpCommand(argv[3], true);
    return Usage();
}
