#include "ViewerTestSupport.h"

#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "TestSupport.h"
#include "TestbedIds.h"
#include "WriterInterfaces.h"

namespace viewertest {

// ---- Registry, environment, current directory --------------------------------------------

CRegistryValueGuard::CRegistryValueGuard(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszValue)
    : m_hRoot(hRoot), m_key(pszKey), m_value(pszValue ? pszValue : L"") {
    HKEY hKey = nullptr;
    if (::RegOpenKeyExW(m_hRoot, pszKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS) return;
    DWORD cb = 0;
    if (::RegQueryValueExW(hKey, pszValue, nullptr, &m_dwType, nullptr, &cb) == ERROR_SUCCESS) {
        m_data.resize(cb);
        m_bExisted = ::RegQueryValueExW(hKey, pszValue, nullptr, &m_dwType, m_data.data(), &cb) == ERROR_SUCCESS;
        m_data.resize(cb);
    }
    ::RegCloseKey(hKey);
}

CRegistryValueGuard::~CRegistryValueGuard() {
    if (m_bExisted) SetRaw(m_dwType, m_data.data(), static_cast<DWORD>(m_data.size()));
    else Remove();
}

void CRegistryValueGuard::SetRaw(DWORD dwType, const void* pData, DWORD cb) {
    HKEY hKey = nullptr;
    LONG lError = ::RegCreateKeyExW(m_hRoot, m_key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &hKey, nullptr);
    ASSERT_EQ(ERROR_SUCCESS, lError) << test::Narrow(m_key);
    lError = ::RegSetValueExW(hKey, m_value.empty() ? nullptr : m_value.c_str(), 0, dwType,
                              static_cast<const BYTE*>(pData), cb);
    ::RegCloseKey(hKey);
    EXPECT_EQ(ERROR_SUCCESS, lError) << test::Narrow(m_key);
}

void CRegistryValueGuard::SetString(const std::wstring& text, DWORD dwType) {
    SetRaw(dwType, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

void CRegistryValueGuard::Remove() {
    HKEY hKey = nullptr;
    if (::RegOpenKeyExW(m_hRoot, m_key.c_str(), 0, KEY_SET_VALUE, &hKey) != ERROR_SUCCESS) return;
    ::RegDeleteValueW(hKey, m_value.empty() ? nullptr : m_value.c_str());
    ::RegCloseKey(hKey);
}

CProppageValue::CProppageValue()
    : CRegistryValueGuard(HKEY_CLASSES_ROOT, L"CLSID\\{29E07010-BD27-11CE-AB59-00AA00577DA1}\\InprocServer32",
                          nullptr) {}

CGraphEditPathValue::CGraphEditPathValue()
    : CRegistryValueGuard(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Shared Tools\\Graphedit", L"Path") {}

CEnvironmentGuard::CEnvironmentGuard(const wchar_t* pszName, const wchar_t* pszValue) : m_name(pszName) {
    wchar_t sz[MAX_PATH];
    const DWORD cch = ::GetEnvironmentVariableW(pszName, sz, MAX_PATH);
    m_bExisted = cch > 0 && cch < MAX_PATH;
    if (m_bExisted) m_old.assign(sz, cch);
    ::SetEnvironmentVariableW(pszName, pszValue);
}

CEnvironmentGuard::~CEnvironmentGuard() { ::SetEnvironmentVariableW(m_name.c_str(), m_bExisted ? m_old.c_str() : nullptr); }

CCurrentDirectoryGuard::CCurrentDirectoryGuard(const std::wstring& dir) {
    wchar_t sz[MAX_PATH];
    m_old.assign(sz, ::GetCurrentDirectoryW(MAX_PATH, sz));
    EXPECT_TRUE(::SetCurrentDirectoryW(dir.c_str())) << test::Narrow(dir);
}

CCurrentDirectoryGuard::~CCurrentDirectoryGuard() { ::SetCurrentDirectoryW(m_old.c_str()); }

// ---- GraphEdit's state file and the message pump -----------------------------------------

std::vector<std::string> CStateFile::Lines() const {
    std::vector<std::string> lines;
    HANDLE hFile = ::CreateFileW(m_path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE) return lines;
    std::string text;
    char buffer[4096];
    DWORD cbRead = 0;
    while (::ReadFile(hFile, buffer, sizeof(buffer), &cbRead, nullptr) && cbRead > 0) text.append(buffer, cbRead);
    ::CloseHandle(hFile);
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

std::string CStateFile::Find(const std::string& prefix) const {
    for (const std::string& line : Lines())
        if (line.compare(0, prefix.size(), prefix) == 0) return line;
    return std::string();
}

size_t CStateFile::Count(const std::string& prefix) const {
    size_t c = 0;
    for (const std::string& line : Lines())
        if (line.compare(0, prefix.size(), prefix) == 0) ++c;
    return c;
}

bool CStateFile::WaitFor(const std::string& prefix, DWORD dwTimeoutMs) const {
    return PumpUntil([&] { return Has(prefix); }, dwTimeoutMs);
}

bool PumpUntil(const std::function<bool()>& condition, DWORD dwTimeoutMs) {
    const DWORD dwStart = ::GetTickCount();
    for (;;) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        if (condition()) return true;
        if (::GetTickCount() - dwStart >= dwTimeoutMs) return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

void PumpFor(DWORD dwMs) {
    PumpUntil([] { return false; }, dwMs);
}

// ---- Child processes ----------------------------------------------------------------------

std::vector<DWORD> ChildProcesses(const wchar_t* pszExeName) {
    std::vector<DWORD> ids;
    HANDLE hSnapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (hSnapshot == INVALID_HANDLE_VALUE) return ids;
    PROCESSENTRY32W entry = {sizeof(entry)};
    for (BOOL b = ::Process32FirstW(hSnapshot, &entry); b; b = ::Process32NextW(hSnapshot, &entry))
        if (entry.th32ParentProcessID == ::GetCurrentProcessId() && lstrcmpiW(entry.szExeFile, pszExeName) == 0)
            ids.push_back(entry.th32ProcessID);
    ::CloseHandle(hSnapshot);
    return ids;
}

size_t EndChildProcesses(const wchar_t* pszExeName, DWORD dwWaitMs) {
    size_t cEnded = 0;
    for (DWORD dwId : ChildProcesses(pszExeName)) {
        HANDLE hProcess = ::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, dwId);
        if (!hProcess) continue;
        if (::WaitForSingleObject(hProcess, dwWaitMs) == WAIT_TIMEOUT) {
            ::TerminateProcess(hProcess, 99);
            ::WaitForSingleObject(hProcess, 2000);
            ++cEnded;
        }
        ::CloseHandle(hProcess);
    }
    return cEnded;
}

std::wstring Lower(std::wstring text) {
    std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) { return static_cast<wchar_t>(towlower(c)); });
    return text;
}

std::wstring ImagePath(HANDLE hProcess) {
    wchar_t sz[MAX_PATH];
    DWORD cch = MAX_PATH;
    if (!::QueryFullProcessImageNameW(hProcess, 0, sz, &cch)) return std::wstring();
    std::wstring path = Lower(std::wstring(sz, cch));
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

// ---- Traces -------------------------------------------------------------------------------

namespace {

std::vector<CTrace> g_traces;

void CollectTrace(fw::TraceCategory, unsigned nLevel, const wchar_t* pszText) { g_traces.push_back({nLevel, pszText}); }

}  // namespace

CTraceCollector::CTraceCollector()
    : m_pfnPrevious(fw::SetTraceHook(CollectTrace)), m_nPreviousLevel(fw::GetTraceLevel(fw::TraceCategory::General)) {
    g_traces.clear();
    fw::SetTraceLevel(fw::TraceCategory::General, 10);  // progress detail included
}

CTraceCollector::~CTraceCollector() {
    fw::SetTraceHook(m_pfnPrevious);
    fw::SetTraceLevel(fw::TraceCategory::General, m_nPreviousLevel);
}

void CTraceCollector::Clear() { g_traces.clear(); }

const std::vector<CTrace>& CTraceCollector::All() const { return g_traces; }

std::vector<std::wstring> CTraceCollector::Texts(unsigned nLevel) const {
    std::vector<std::wstring> texts;
    for (const CTrace& trace : g_traces)
        if (trace.nLevel == nLevel) texts.push_back(trace.text);
    return texts;
}

// ---- The fixture --------------------------------------------------------------------------

const wchar_t kGraphEditExe[] = L"graphedt.exe";

namespace {

// test::MakeTempDir names its folder after the process id and a counter; Wine soon reuses process
// ids, so an earlier run's folder (and GraphEdit's state file in it) could come back. The tick
// count in the tag keeps every test's folder new.
std::wstring FreshTempDir() {
    const std::wstring tag = L"viewer-" + std::to_wstring(::GetTickCount64());
    return test::MakeTempDir(tag.c_str());
}

}  // namespace

GraphEditTest::GraphEditTest()
    : m_dir(FreshTempDir()),
      m_state(m_dir + L"\\graphedt-state.txt"),
      m_stateVariable(L"GRAPHEDT_STATE_FILE", m_state.Path().c_str()),
      m_lifetime(L"GRAPHEDT_LIFETIME_MS", L"20000") {}

void GraphEditTest::TearDown() {
    // A GraphEdit asked to quit may still be on its way out: give it a moment.
    PumpUntil([] { return ChildProcesses(kGraphEditExe).empty(); }, 1000);
    EXPECT_TRUE(ChildProcesses(kGraphEditExe).empty()) << "GraphEdit left running";
    EndChildProcesses(kGraphEditExe, 0);
}

std::wstring BinGraphEdit() { return test::BinDir() + L"\\graphedt.exe"; }
std::wstring BinProppage() { return test::BinDir() + L"\\proppage.dll"; }

void CopyGraphEdit(const std::wstring& path) {
    EXPECT_TRUE(::CopyFileW(BinGraphEdit().c_str(), path.c_str(), FALSE)) << test::Narrow(path);
}

// ---- A live graph -------------------------------------------------------------------------

namespace {

fw::ComPtr<IPin> PinOf(IBaseFilter* pFilter, const wchar_t* pszId) {
    fw::ComPtr<IPin> spPin;
    EXPECT_HR(S_OK, pFilter->FindPin(pszId, &spPin)) << test::Narrow(pszId);
    return spPin;
}

}  // namespace

fw::ComPtr<IGraphBuilder> MakeTavrelWriterGraph() {
    fw::ComPtr<IGraphBuilder> spGraph;
    EXPECT_HR(S_OK, spGraph.CoCreateInstance(CLSID_FilterGraph));
    fw::ComPtr<IBaseFilter> spSource, spWriter;
    EXPECT_HR(S_OK, spSource.CoCreateInstance(CLSID_TavrelSource));
    EXPECT_HR(S_OK, spWriter.CoCreateInstance(CLSID_WriterFilter));
    if (!spGraph || !spSource || !spWriter) return nullptr;
    EXPECT_HR(S_OK, spGraph->AddFilter(spSource, L"Tavrel"));
    EXPECT_HR(S_OK, spGraph->AddFilter(spWriter, L"Lathmere writer"));
    fw::ComPtr<IPin> spOut = PinOf(spSource, L"Out");
    fw::ComPtr<IPin> spIn = PinOf(spWriter, L"In");
    if (spOut && spIn) {
        EXPECT_HR(S_OK, spGraph->ConnectDirect(spOut, spIn, nullptr));
    }
    return spGraph;
}

std::string Hex8(ULONG_PTR value) {
    char sz[16];
    snprintf(sz, sizeof(sz), "%08x", static_cast<unsigned>(value & 0xFFFFFFFFu));
    return sz;
}

size_t RotEntriesOfProcess(DWORD dwProcessId) {
    fw::ComPtr<IRunningObjectTable> spROT;
    EXPECT_HR(S_OK, ::GetRunningObjectTable(0, &spROT));
    fw::ComPtr<IEnumMoniker> spEnum;
    fw::ComPtr<IBindCtx> spBindCtx;
    if (!spROT || FAILED(spROT->EnumRunning(&spEnum)) || FAILED(::CreateBindCtx(0, &spBindCtx))) return 0;
    const std::string hex = Hex8(dwProcessId);
    const std::wstring suffix = L" pid " + std::wstring(hex.begin(), hex.end());
    size_t c = 0;
    for (;;) {
        fw::ComPtr<IMoniker> spMoniker;
        ULONG cFetched = 0;
        if (spEnum->Next(1, &spMoniker, &cFetched) != S_OK || cFetched != 1) break;
        LPOLESTR pszName = nullptr;
        if (FAILED(spMoniker->GetDisplayName(spBindCtx, nullptr, &pszName))) continue;
        const std::wstring name(pszName);
        ::CoTaskMemFree(pszName);
        if (name.size() >= suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) ++c;
    }
    return c;
}

}  // namespace viewertest
