#include "GraphFiles.h"

#include <gtest/gtest.h>

#include "GrfFile.h"
#include "GrfFormat.h"
#include "GrfText.h"

namespace test {

std::wstring WriteGraphFile(const std::wstring& dir, const std::wstring& name, const std::string& description) {
    grf::Graph graph;
    std::string error;
    EXPECT_TRUE(grf::ParseDescription(description, graph, error)) << error;
    std::wstring path = dir + L"\\" + name;
    EXPECT_EQ(S_OK, grf::WriteGrfFile(path.c_str(), grf::Write(graph)));
    return path;
}

LONG LiveObjects(const wchar_t* pszDll) {
    HMODULE hModule = ::GetModuleHandleW(pszDll);
    if (!hModule) return 0;
    using LiveObjectsProc = LONG(WINAPI*)();
    auto pfn = reinterpret_cast<LiveObjectsProc>(reinterpret_cast<void*>(::GetProcAddress(hModule, "TestbedLiveObjects")));
    return pfn ? pfn() : -1;
}

}  // namespace test
