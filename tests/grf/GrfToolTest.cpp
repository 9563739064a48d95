// grf.exe run as its own process: what it writes, what it prints, how it fails.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "GrfFile.h"
#include "GrfFormat.h"
#include "GrfTestUtil.h"
#include "GrfText.h"
#include "TestSupport.h"

namespace {

struct ToolResult {
    DWORD exitCode = 0xFFFFFFFF;
    std::string out;
    std::string err;
};

std::string ReadText(const std::wstring& path) {
    std::ifstream in(test::Narrow(path), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::string s = text.str();
    for (size_t at = s.find("\r\n"); at != std::string::npos; at = s.find("\r\n", at)) s.erase(at, 1);
    return s;
}

HANDLE InheritableFile(const std::wstring& path) {
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    return ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, nullptr);
}

class GrfTool : public testing::Test {
protected:
    std::wstring Path(const wchar_t* name) const { return m_dir + L"\\" + name; }

    void WriteText(const wchar_t* name, const std::string& text) const {
        std::ofstream(test::Narrow(Path(name)), std::ios::binary) << text;
    }

    // Runs grf.exe with the arguments; stdout and stderr go to files, read back without CRs.
    ToolResult Run(const std::wstring& args) const {
        ToolResult result;
        const std::wstring outPath = Path(L"stdout.txt"), errPath = Path(L"stderr.txt");
        HANDLE hOut = InheritableFile(outPath), hErr = InheritableFile(errPath);
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = nullptr;
        si.hStdOutput = hOut;
        si.hStdError = hErr;
        PROCESS_INFORMATION pi = {};
        std::wstring commandLine = L"\"" + test::BinDir() + L"\\grf.exe\" " + args;
        const BOOL started = ::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                              m_dir.c_str(), &si, &pi);
        ::CloseHandle(hOut);
        ::CloseHandle(hErr);
        EXPECT_TRUE(started) << "CreateProcessW failed, error " << ::GetLastError();
        if (!started) return result;
        EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(pi.hProcess, 30000));
        ::GetExitCodeProcess(pi.hProcess, &result.exitCode);
        ::CloseHandle(pi.hThread);
        ::CloseHandle(pi.hProcess);
        result.out = ReadText(outPath);
        result.err = ReadText(errPath);
        return result;
    }

    const std::wstring m_dir = test::MakeTempDir(L"grftool");
};

const char kDescription[] =
    "filter 0001 \"Tavrel\" tavrel\n"
    "data rate=2000000\n"
    "filter 0002 \"Lathmere writer\" writer sink \"C:\\out\\a.mp4\"\n"
    "connect 0001 \"Out\" 0002 \"In\" stream null 1 0 65536 none\n"
    "clock 0000\n";

TEST_F(GrfTool, WritesTheDescribedGraphIntoAGraphFile) {
    WriteText(L"graph.txt", kDescription);
    const ToolResult written = Run(L"write graph.txt out.grf");
    EXPECT_EQ(0u, written.exitCode) << written.err;
    EXPECT_EQ("", written.out + written.err);
    std::vector<uint8_t> stream;
    ASSERT_HR(S_OK, grf::ReadGrfFile(Path(L"out.grf").c_str(), stream));
    grf::Graph expected;
    std::string error;
    ASSERT_TRUE(grf::ParseDescription(kDescription, expected, error)) << error;
    EXPECT_EQ(grf::Write(expected), stream);
}

TEST_F(GrfTool, DumpsAGraphFileAndARawStream) {
    WriteText(L"graph.txt", kDescription);
    ASSERT_EQ(0u, Run(L"write graph.txt out.grf").exitCode);
    const ToolResult dumped = Run(L"dump out.grf");
    EXPECT_EQ(0u, dumped.exitCode) << dumped.err;
    EXPECT_EQ("VERSION 0003\n"
              "F 0001 \"Tavrel\" {B4E5A1C2-7D3F-4E8A-9B1C-2D3E4F5A6B7C} data=13 B\n"
              "F 0002 \"Lathmere writer\" {8E9C3E01-2306-4A81-911F-8825C7C82516} SINK \"C:\\out\\a.mp4\" data=0 B\n"
              "C 0001 \"Out\" -> 0002 \"In\": mt-block 286 B; {E436EB83-524F-11CE-9F53-0020AF0BA770} / "
              "{00000000-0000-0000-0000-000000000000}; fixed=1 temporal=0 lSampleSize=65536; "
              "{0F6417D6-C318-11D0-A43F-00A0C9223196} cbFormat=0\n"
              "CLOCK 1 0000\n"
              "END at byte 779\n",  // 383 code units and 13 data bytes
              dumped.out);
    const std::vector<uint8_t> raw = grf::Write(grftest::RichGraph());
    std::ofstream(test::Narrow(Path(L"raw.bin")), std::ios::binary).write(reinterpret_cast<const char*>(raw.data()),
                                                                          static_cast<std::streamsize>(raw.size()));
    const ToolResult rawDump = Run(L"dump --stream raw.bin");
    EXPECT_EQ(0u, rawDump.exitCode) << rawDump.err;
    EXPECT_NE(std::string::npos, rawDump.out.find("F 0012 \"Writer \xC3\xA9\xE4\xB8\xAD\" {0F6417D6-C318-11D0-A43F-00A0C9223196} "
                                                  "SINK \"C:\\out\\a.mp4\" data=7 B\n"))
        << rawDump.out;
    EXPECT_NE(std::string::npos, rawDump.out.find("END at byte " + std::to_string(raw.size()) + "\n"));
}

TEST_F(GrfTool, DumpsARealSample) {
    const ToolResult dumped = Run(std::wstring(L"dump \"") + GRF_SAMPLES_DIR + L"\\rdp__sensible-cinema__uscreen_me.grf\"");
    EXPECT_EQ(0u, dumped.exitCode) << dumped.err;
    EXPECT_EQ("VERSION 0003\n"
              "F 0001 \"UScreenCapture\" {3755D805-2E56-4A74-BD0F-13C7493A35C8} SOURCE \"(null)\" data=0 B\n"
              "CLOCK 1 0000\n"
              "END at byte 270\n",
              dumped.out);
}

TEST_F(GrfTool, BadInputFailsWithAMessageAndExitCode1) {
    WriteText(L"bad.txt", "filter 0001 \"A\" writer\nconnect 1 \"o\" 2 \"i\" video null 2 0 1 none\n");
    WriteText(L"text.grf", "not a compound file");
    ASSERT_HR(S_OK, grf::WriteGrfFile(Path(L"nostream.grf").c_str(), {}, nullptr));
    ASSERT_HR(S_OK, grf::WriteGrfFile(Path(L"broken.grf").c_str(), grftest::U16("0003\r\nFILTERS\r\nEND")));
    const std::pair<const wchar_t*, const char*> cases[] = {
        {L"write bad.txt out.grf", "grf: bad.txt: line 2: expected the fixed-size-samples flag (0 or 1), got '2'\n"},
        {L"write missing.txt out.grf", "grf: cannot read missing.txt: "},
        {L"dump missing.grf", "grf: cannot read the graph stream of missing.grf: 0x80030002 (file not found)\n"},
        {L"dump text.grf", "grf: cannot read the graph stream of text.grf: 0x"},
        {L"dump nostream.grf", "grf: cannot read the graph stream of nostream.grf: 0x80030002"},
        {L"dump broken.grf", "grf: broken.grf: byte 30: expected a filter id\n"},
        {L"dump --stream missing.bin", "grf: cannot read missing.bin: "},
    };
    for (const auto& [args, message] : cases) {
        SCOPED_TRACE(test::Narrow(args));
        const ToolResult result = Run(args);
        EXPECT_EQ(1u, result.exitCode);
        EXPECT_EQ(message, result.err.substr(0, std::string(message).size())) << result.err;
        EXPECT_EQ("", result.out);
    }
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(Path(L"out.grf").c_str()));  // nothing written
}

TEST_F(GrfTool, WrongArgumentsPrintUsageAndExitCode2) {
    for (const wchar_t* args : {L"", L"write only.txt", L"dump", L"dump a b", L"dump --raw x", L"frobnicate x y"}) {
        SCOPED_TRACE(test::Narrow(args));
        const ToolResult result = Run(args);
        EXPECT_EQ(2u, result.exitCode);
        EXPECT_EQ(0u, result.err.find("usage: grf write <description.txt> <out.grf>\n")) << result.err;
    }
}

}  // namespace
