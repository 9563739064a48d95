#include "GraphEditStamps.h"

#include <windows.h>

#include <cstdio>
#include <sstream>

namespace bench {

bool GraphEditStamps::Complete() const {
    return start != 0 && ready != 0 && command != 0 && listed != 0 && ok != 0 && bind != 0 && read != 0;
}

std::string ReadStateFile(const std::wstring& path) {
    // The stand-in appends while this reads: every kind of sharing is allowed.
    HANDLE hFile = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE) return std::string();
    std::string text;
    char sz[4096];
    DWORD cb = 0;
    while (::ReadFile(hFile, sz, sizeof(sz), &cb, nullptr) && cb != 0) text.append(sz, cb);
    ::CloseHandle(hFile);
    return text;
}

bool ParseStamps(const std::string& text, GraphEditStamps* pStamps) {
    struct Field {
        const char* pszStage;
        double* pUs;
    } const fields[] = {{"start", &pStamps->start},   {"ready", &pStamps->ready}, {"command", &pStamps->command},
                        {"listed", &pStamps->listed}, {"ok", &pStamps->ok},       {"bind", &pStamps->bind},
                        {"read", &pStamps->read},     {"quit", &pStamps->quit},   {"exit", &pStamps->exit}};
    *pStamps = GraphEditStamps();
    double usPerCount = 0;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        char szStage[16] = "";
        long long llValue = 0;
        if (std::sscanf(line.c_str(), "stamp-frequency %lld", &llValue) == 1 && llValue > 0) {
            usPerCount = 1e6 / static_cast<double>(llValue);
            continue;
        }
        if (std::sscanf(line.c_str(), "stamp %15s %lld", szStage, &llValue) != 2) continue;
        for (const Field& field : fields)
            if (std::string(szStage) == field.pszStage && *field.pUs == 0)
                *field.pUs = static_cast<double>(llValue) * usPerCount;
    }
    return usPerCount != 0;
}

}  // namespace bench
