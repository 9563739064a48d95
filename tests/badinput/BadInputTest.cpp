// Bad input fed to the real dialog: paths of awkward lengths, things at the path that are no
// graph file, graph streams the graph manager cannot load, and interleaving texts that are no
// plain number. Each case expects one clear message with the right code and nothing lost: the
// file at the path keeps its bytes and last-write time (the harness only ever reads it), the
// dialog then builds a good graph, and the program closes with exit code 0 (UiTest's TearDown).
#include <windows.h>

#include <dshow.h>
#include <vfwmsgs.h>

#include <string>
#include <thread>
#include <vector>

#include "GrfFile.h"
#include "GrfFormat.h"
#include "GrfText.h"
#include "GraphFiles.h"
#include "TestSupport.h"
#include "TestbedIds.h"
#include "UiTest.h"
#include "WriterInterfaces.h"

namespace ui {
namespace {

// The program keeps the file edit's text in 260 characters, the terminator included.
const size_t kKeptPathChars = 259;

// ---- What a build could disturb at a path

struct DiskState {
    DWORD dwAttributes = INVALID_FILE_ATTRIBUTES;  // absent
    ULONGLONG ullLastWrite = 0;
    std::string bytes;  // empty for a folder
    bool operator==(const DiskState& o) const {
        return dwAttributes == o.dwAttributes && ullLastWrite == o.ullLastWrite && bytes == o.bytes;
    }
};

void PrintTo(const DiskState& state, std::ostream* pStream) {
    *pStream << "attributes 0x" << std::hex << state.dwAttributes << ", written at " << std::dec
             << state.ullLastWrite << ", " << state.bytes.size() << " bytes";
}

DiskState ReadDiskState(const std::wstring& path) {
    DiskState state;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return state;
    state.dwAttributes = data.dwFileAttributes;
    state.ullLastWrite = (ULONGLONG(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    HANDLE hFile = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (hFile == INVALID_HANDLE_VALUE) return state;
    char buffer[4096];
    DWORD cbRead = 0;
    while (::ReadFile(hFile, buffer, sizeof(buffer), &cbRead, nullptr) && cbRead) state.bytes.append(buffer, cbRead);
    ::CloseHandle(hFile);
    return state;
}

// Another program's hold on a file: open with no sharing at all, until Close.
class ExclusiveHold {
public:
    ~ExclusiveHold() { Close(); }
    bool Open(const std::wstring& path) {
        m_hFile = ::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        return m_hFile != INVALID_HANDLE_VALUE;
    }
    void Close() {
        if (m_hFile != INVALID_HANDLE_VALUE) ::CloseHandle(m_hFile);
        m_hFile = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE m_hFile = INVALID_HANDLE_VALUE;
};

// ---- What the platform says, asked in this process

// The status of opening the path the way the program opens a graph file: read only, no
// other opener.
HRESULT OpenStatus(const std::wstring& path) {
    IStorage* pStorage = nullptr;
    HRESULT hr = ::StgOpenStorage(path.c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, &pStorage);
    if (pStorage) pStorage->Release();
    return hr;
}

struct UnsignedReading {
    bool bEditMade = false;
    BOOL bTranslated = FALSE;
    UINT nValue = 0;
};

// GetDlgItemInt (unsigned), as "Play" reads the interleaving, on an edit of our own with the
// dialog's id and number style, given the text the way the test gives it (WM_SETTEXT).
// It runs on a thread of its own. Wine's GetDlgItemInt takes strtoul's ULONG_MAX as a range
// error only when errno says ERANGE, and errno is the thread's, never reset: "-1" and
// "4294967295" read as 4294967295 on a thread that has seen no range error, and as no number
// on one that has (an earlier "4294967296", say). A fresh thread reads as the program's
// dialog thread does in a fresh process.
UnsignedReading PlatformReadsUnsigned(const std::wstring& text) {
    UnsignedReading reading;
    std::thread reader([&] {
        HWND hWndParent =
            ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 100, 20, nullptr, nullptr, nullptr, nullptr);
        HWND hWndEdit =
            ::CreateWindowExW(0, L"EDIT", L"", WS_CHILD | ES_NUMBER | ES_AUTOHSCROLL, 0, 0, 100, 20, hWndParent,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(kInterleaving)), nullptr, nullptr);
        reading.bEditMade = hWndEdit != nullptr;
        ::SendMessageW(hWndEdit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
        reading.nValue = ::GetDlgItemInt(hWndParent, kInterleaving, &reading.bTranslated, FALSE);
        ::DestroyWindow(hWndParent);
    });
    reader.join();
    return reading;
}

// ---- Graph streams made by hand

std::wstring GuidText(REFGUID guid) {
    wchar_t sz[40] = {};
    ::StringFromGUID2(guid, sz, 40);
    return sz;
}

// Tavrel into the writer, as GraphEdit lays it out, with 8 format bytes: the media type block
// holds 294 bytes, and cbBlock is what its length field claims.
std::vector<uint8_t> HandmadeStream(unsigned cbBlock) {
    wchar_t szBlock[16];
    _snwprintf(szBlock, 16, L"%010u", cbBlock);
    std::wstring head = L"0003\r\nFILTERS\r\n0001 \"Tavrel\" " + GuidText(CLSID_TavrelSource) +
                        L" 0000000000 \r\n0002 \"Lathmere writer\" " + GuidText(CLSID_WriterFilter) +
                        L" 0000000000 \r\nCONNECTIONS\r\n0001 \"Out\" 0002 \"In\" " + szBlock + L" " +
                        GuidText(MEDIATYPE_Stream) + L" " + GuidText(GUID_NULL) + L" 1 0 0000065536" +
                        std::wstring(1, L'\0') + GuidText(FORMAT_None) + L" 0000000008 ";
    const std::wstring tail = L"\r\nCLOCK 1 0000\r\nEND";
    std::vector<uint8_t> bytes(reinterpret_cast<const uint8_t*>(head.data()),
                               reinterpret_cast<const uint8_t*>(head.data() + head.size()));
    for (uint8_t b = 1; b <= 8; ++b) bytes.push_back(b);
    bytes.insert(bytes.end(), reinterpret_cast<const uint8_t*>(tail.data()),
                 reinterpret_cast<const uint8_t*>(tail.data() + tail.size()));
    return bytes;
}

bool Parses(const std::vector<uint8_t>& stream) {
    grf::Graph graph;
    grf::ParseError error;
    return grf::Parse(stream.data(), stream.size(), graph, error);
}

// ---- The fixture: inputs put in place, and the good build every case ends with

class BadInputTest : public UiTest {
protected:
    void TearDown() override {
        ::RemoveDirectoryW((m_dir + L"\\x.grf").c_str());  // UiTest removes files only
        UiTest::TearDown();
    }

    // The dialog still does its work: a good graph builds without a message.
    void ExpectAGoodBuild() {
        Build(WriterGraph(L"good.grf", {"name=Good"}));
        EXPECT_TRUE(NoBoxAfterSync());
        EXPECT_EQ(L"Test for Good", m_app.Caption().substr(0, 13));
        EXPECT_TRUE(m_app.IsEnabled(kPlay));
    }

    // A path into the test's folder of exactly cch characters, ending in ".grf".
    std::wstring PathOfLength(size_t cch) const {
        return m_dir + L"\\" + std::wstring(cch - m_dir.size() - 5, L'p') + L".grf";
    }
    std::wstring GraphStream(const wchar_t* pszName, const std::vector<uint8_t>& stream) const {
        const std::wstring path = m_dir + L"\\" + pszName;
        EXPECT_HR(S_OK, grf::WriteGrfFile(path.c_str(), stream));
        return path;
    }
    std::string SourceIntoWriter(const char* pszOutPin) const {
        return std::string("filter 0001 \"Tavrel\" tavrel\nfilter 0002 \"Lathmere writer\" writer\n") +
               "connect 0001 \"" + pszOutPin + "\" 0002 \"In\" stream null 1 0 65536 none\nclock 0000\n";
    }

public:
    // Inputs: each puts its bad input in place and returns the text to type into the file edit.
    std::wstring EmptyPath() { return L""; }
    std::wstring MissingFileOf259() { return PathOfLength(kKeptPathChars); }
    std::wstring PathOf260() { return PathOfLength(260); }
    // Its first 259 characters name a missing .grf file; the rest goes on to 1000 characters.
    std::wstring PathOf1000() {
        const std::wstring kept = PathOfLength(kKeptPathChars);
        return kept + std::wstring(1000 - kept.size() - 4, L'q') + L".grf";
    }
    std::wstring FolderNamedGrf() {
        const std::wstring path = m_dir + L"\\x.grf";
        EXPECT_TRUE(::CreateDirectoryW(path.c_str(), nullptr));
        return path;
    }
    std::wstring GoodGraph() { return WriterGraph(L"held.grf", {}); }
    std::wstring ZeroByteFile() {
        const std::wstring path = m_dir + L"\\empty.grf";
        HANDLE hFile = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        EXPECT_NE(INVALID_HANDLE_VALUE, hFile);
        ::CloseHandle(hFile);
        return path;
    }
    std::wstring GarbageStream() {
        const char garbage[] = "\xff\xfe\x00\x01 no graph here \"\r\n\x7f";
        return GraphStream(L"garbage.grf", std::vector<uint8_t>(garbage, garbage + sizeof(garbage)));
    }
    std::wstring TruncatedStream() {
        grf::Graph graph;
        std::string error;
        EXPECT_TRUE(grf::ParseDescription(SourceIntoWriter("Out"), graph, error)) << error;
        std::vector<uint8_t> stream = grf::Write(graph);
        stream.resize(stream.size() / 2 & ~size_t(1));  // whole UTF-16 units, half of them
        return GraphStream(L"truncated.grf", stream);
    }
    std::wstring UnregisteredClass() {
        return test::WriteGraphFile(m_dir, L"ghost.grf",
                                    "filter 0001 \"Ghost\" {0DDBA11C-0FFE-4E0F-8BAD-F00DFEEDFACE}\nclock 0000\n");
    }
    std::wstring UnknownPinIds() { return test::WriteGraphFile(m_dir, L"pins.grf", SourceIntoWriter("Nowhere")); }
    std::wstring MediaTypeLengthsDisagree() {
        EXPECT_TRUE(Parses(HandmadeStream(294))) << "the handmade stream with the right length must load";
        return GraphStream(L"lengths.grf", HandmadeStream(286));
    }
};

// Where the code of the expected box comes from.
enum class Expect {
    FileNotSelected,     // ".grf file not selected", E_INVALIDARG
    NotGrfName,          // E_INVALIDARG: the path the program keeps does not end in ".grf"
    OpenStatus,          // what StgOpenStorage gives this process for the kept path
    // The graph manager's statuses. Wine's has no IPersistStream; the test bed adds it with
    // these statuses. Windows' own graph manager may answer these streams differently.
    InvalidFormat,       // VFW_E_INVALID_FILE_FORMAT: the stream does not parse
    ClassNotRegistered,  // REGDB_E_CLASSNOTREG: a filter's class cannot be created
    PinNotFound,         // VFW_E_NOT_FOUND: a connection names a pin the filter lacks
};

HRESULT ExpectedCode(Expect expect, const std::wstring& keptPath) {
    switch (expect) {
    case Expect::FileNotSelected:
    case Expect::NotGrfName: return E_INVALIDARG;
    case Expect::OpenStatus: return OpenStatus(keptPath);
    case Expect::InvalidFormat: return VFW_E_INVALID_FILE_FORMAT;
    case Expect::ClassNotRegistered: return REGDB_E_CLASSNOTREG;
    case Expect::PinNotFound: return VFW_E_NOT_FOUND;
    }
    return S_OK;
}

// ---- The cases

struct BadFile {
    const char* pszName;
    std::wstring (BadInputTest::*pfnMake)();
    bool bHeldByAnother;  // the kept path is held open exclusively while the program builds
    Expect expect;
};

const BadFile kBadFiles[] = {
    {"EmptyPath", &BadInputTest::EmptyPath, false, Expect::FileNotSelected},
    {"MissingFileOf259Characters", &BadInputTest::MissingFileOf259, false, Expect::OpenStatus},
    {"PathOf260CharactersCutBeforeItsExtension", &BadInputTest::PathOf260, false, Expect::NotGrfName},
    {"PathOf1000CharactersCutTo259", &BadInputTest::PathOf1000, false, Expect::OpenStatus},
    {"FolderNamedXGrf", &BadInputTest::FolderNamedGrf, false, Expect::OpenStatus},
    {"FileHeldByAnotherOpener", &BadInputTest::GoodGraph, true, Expect::OpenStatus},
    {"ZeroByteFile", &BadInputTest::ZeroByteFile, false, Expect::OpenStatus},
    {"GarbageInTheGraphStream", &BadInputTest::GarbageStream, false, Expect::InvalidFormat},
    {"TruncatedGraphStream", &BadInputTest::TruncatedStream, false, Expect::InvalidFormat},
    {"UnregisteredFilterClass", &BadInputTest::UnregisteredClass, false, Expect::ClassNotRegistered},
    {"UnknownPinIds", &BadInputTest::UnknownPinIds, false, Expect::PinNotFound},
    {"MediaTypeLengthsDisagree", &BadInputTest::MediaTypeLengthsDisagree, false, Expect::InvalidFormat},
};

void PrintTo(const BadFile& row, std::ostream* pStream) { *pStream << row.pszName; }

class BadFileTest : public BadInputTest, public ::testing::WithParamInterface<BadFile> {};

TEST_P(BadFileTest, ShowsOneClearMessageAndLosesNothing) {
    const BadFile& input = GetParam();
    const std::wstring typed = (this->*input.pfnMake)();
    ASSERT_FALSE(HasFailure()) << "the input could not be put in place";
    const std::wstring kept = typed.substr(0, kKeptPathChars);
    const DiskState before = ReadDiskState(kept);
    ExclusiveHold hold;
    if (input.bHeldByAnother) {
        ASSERT_TRUE(hold.Open(kept));
    }
    const HRESULT hr = ExpectedCode(input.expect, kept);
    ASSERT_TRUE(FAILED(hr)) << "the platform opens this input: " << test::Narrow(test::HrText(hr));

    Build(typed);
    const wchar_t* pszMessage = input.expect == Expect::FileNotSelected ? L".grf file not selected" : L"Can't build graph";
    EXPECT_EQ(ErrorBox(pszMessage, hr), TakeBox());
    EXPECT_TRUE(NoBoxAfterSync());
    EXPECT_EQ(typed, m_app.Text(kFile));
    EXPECT_FALSE(m_app.IsEnabled(kPlay));

    hold.Close();
    EXPECT_EQ(before, ReadDiskState(kept));
    ExpectAGoodBuild();
}

// Each case is named after its table row.
struct RowName {
    template <class Row>
    std::string operator()(const ::testing::TestParamInfo<Row>& row) const {
        return row.param.pszName;
    }
};

INSTANTIATE_TEST_SUITE_P(, BadFileTest, ::testing::ValuesIn(kBadFiles), RowName());

// ---- Interleaving texts set into the edit behind its number style

struct InterleavingText {
    const char* pszName;
    const wchar_t* pszText;
};

const InterleavingText kInterleavingTexts[] = {
    {"Empty", L""},
    {"Zero", L"0"},
    {"LargestUnsigned", L"4294967295"},
    {"OneBeyondUnsigned", L"4294967296"},
    {"MinusOne", L"-1"},
    {"LeadingSpace", L" 12"},
    {"ArabicIndicDigits", L"\u0661\u0662"},
};

void PrintTo(const InterleavingText& row, std::ostream* pStream) { *pStream << row.pszName; }

class InterleavingTextTest : public BadInputTest, public ::testing::WithParamInterface<InterleavingText> {
protected:
    std::vector<std::string> SetInterleavingCallsSince(size_t cSkip) const {
        std::vector<std::string> calls;
        for (const std::string& line : JournalSince(cSkip))
            if (line.rfind("SetInterleaving ", 0) == 0) calls.push_back(line);
        return calls;
    }
};

// Play passes what the platform reads from the text, or 200 after a message when it reads no
// number; the edit keeps the text either way.
TEST_P(InterleavingTextTest, WriterGetsWhatThePlatformReadsElse200AfterAMessage) {
    const std::wstring text = GetParam().pszText;
    const UnsignedReading reading = PlatformReadsUnsigned(text);
    ASSERT_TRUE(reading.bEditMade);
    const std::wstring graph = WriterGraph(L"writer.grf", {});
    ASSERT_NO_FATAL_FAILURE(Build(graph));
    ASSERT_TRUE(NoBoxAfterSync());
    const DiskState before = ReadDiskState(graph);
    const size_t cBefore = Journal().size();

    m_app.SetText(kInterleaving, text);
    m_app.Click(kPlay);
    if (!reading.bTranslated) {
        EXPECT_EQ(ErrorBox(L"Invalid interleaving value, use default value", E_INVALIDARG), TakeBox());
    }
    EXPECT_TRUE(NoBoxAfterSync());
    const UINT nExpected = reading.bTranslated ? reading.nValue : 200;
    EXPECT_EQ(std::vector<std::string>{"SetInterleaving " + std::to_string(nExpected) + " -> 0x00000000"},
              SetInterleavingCallsSince(cBefore));
    EXPECT_EQ(text, m_app.Text(kInterleaving));

    m_app.Click(kStop);
    EXPECT_TRUE(NoBoxAfterSync());
    EXPECT_EQ(before, ReadDiskState(graph));
    ExpectAGoodBuild();
}

INSTANTIATE_TEST_SUITE_P(, InterleavingTextTest, ::testing::ValuesIn(kInterleavingTexts), RowName());

}  // namespace
}  // namespace ui
