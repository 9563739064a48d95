// Helpers of the viewer bridge's tests: registry values and environment variables put back
// after a test, the GraphEdit stand-in's state file, message pumping while GraphEdit calls back
// into this process, child process bookkeeping, trace collection and a small live graph.
#pragma once

#include <windows.h>
#include <dshow.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "ComPtr.h"
#include "Debug.h"

namespace viewertest {

// Remembers one registry value (or its absence) and restores it when destroyed. The key is
// created if needed, and stays.
class CRegistryValueGuard {
public:
    CRegistryValueGuard(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszValue);
    ~CRegistryValueGuard();
    CRegistryValueGuard(const CRegistryValueGuard&) = delete;
    CRegistryValueGuard& operator=(const CRegistryValueGuard&) = delete;

    void SetRaw(DWORD dwType, const void* pData, DWORD cb);
    // The text and its terminator.
    void SetString(const std::wstring& text, DWORD dwType = REG_SZ);
    void Remove();

private:
    HKEY m_hRoot;
    std::wstring m_key;
    std::wstring m_value;
    bool m_bExisted = false;
    DWORD m_dwType = 0;
    std::vector<BYTE> m_data;
};

// The two values the bridge reads: the property page server's path and GraphEdit's "Path".
class CProppageValue : public CRegistryValueGuard {
public:
    CProppageValue();
};
class CGraphEditPathValue : public CRegistryValueGuard {
public:
    CGraphEditPathValue();
};

// Sets (or with null removes) an environment variable of this process, inherited by the
// GraphEdit it starts; the old value comes back when destroyed.
class CEnvironmentGuard {
public:
    CEnvironmentGuard(const wchar_t* pszName, const wchar_t* pszValue);
    ~CEnvironmentGuard();
    CEnvironmentGuard(const CEnvironmentGuard&) = delete;
    CEnvironmentGuard& operator=(const CEnvironmentGuard&) = delete;

private:
    std::wstring m_name;
    bool m_bExisted = false;
    std::wstring m_old;
};

class CCurrentDirectoryGuard {
public:
    explicit CCurrentDirectoryGuard(const std::wstring& dir);
    ~CCurrentDirectoryGuard();
    CCurrentDirectoryGuard(const CCurrentDirectoryGuard&) = delete;
    CCurrentDirectoryGuard& operator=(const CCurrentDirectoryGuard&) = delete;

private:
    std::wstring m_old;
};

// The state file GraphEdit writes (GRAPHEDT_STATE_FILE), read as lines.
class CStateFile {
public:
    explicit CStateFile(const std::wstring& path) : m_path(path) {}
    const std::wstring& Path() const { return m_path; }
    std::vector<std::string> Lines() const;
    // The first line starting with prefix, or empty.
    std::string Find(const std::string& prefix) const;
    bool Has(const std::string& prefix) const { return !Find(prefix).empty(); }
    size_t Count(const std::string& prefix) const;
    // Pumps this thread's messages until a line starting with prefix appears; false on time-out.
    bool WaitFor(const std::string& prefix, DWORD dwTimeoutMs) const;

private:
    std::wstring m_path;
};

// Dispatches this thread's messages (GraphEdit's calls into the published graph arrive as
// messages to this apartment) until the condition holds or the time is up.
bool PumpUntil(const std::function<bool()>& condition, DWORD dwTimeoutMs);
void PumpFor(DWORD dwMs);

// Running processes of this image name started by this process.
std::vector<DWORD> ChildProcesses(const wchar_t* pszExeName);
// Waits up to dwWaitMs for them to end by themselves, then ends the rest; how many had to be ended.
size_t EndChildProcesses(const wchar_t* pszExeName, DWORD dwWaitMs);
// The full image path of a process, lower case with backslashes.
std::wstring ImagePath(HANDLE hProcess);
std::wstring Lower(std::wstring text);

// Collects the general traces while it lives (installs the framework's trace hook).
struct CTrace {
    unsigned nLevel;
    std::wstring text;
};
class CTraceCollector {
public:
    CTraceCollector();
    ~CTraceCollector();
    CTraceCollector(const CTraceCollector&) = delete;
    CTraceCollector& operator=(const CTraceCollector&) = delete;
    const std::vector<CTrace>& All() const;
    // The texts at one level, in order.
    std::vector<std::wstring> Texts(unsigned nLevel) const;
    void Clear();

private:
    fw::TraceHook m_pfnPrevious;
    unsigned m_nPreviousLevel;
};

// A filter graph manager holding the Tavrel source connected to the Lathmere writer, both the
// test bed's, named "Tavrel" and "Lathmere writer".
fw::ComPtr<IGraphBuilder> MakeTavrelWriterGraph();

// The base of tests that start GraphEdit: a fresh folder and state file per test, GraphEdit
// ending by itself after 20 s should a test fail badly, and no GraphEdit left running after it.
class GraphEditTest : public ::testing::Test {
protected:
    GraphEditTest();
    void TearDown() override;

    std::wstring m_dir;
    CStateFile m_state;
    CEnvironmentGuard m_stateVariable;
    CEnvironmentGuard m_lifetime;
};

extern const wchar_t kGraphEditExe[];  // "graphedt.exe"
// The stand-in beside the tests, and the property page server beside it.
std::wstring BinGraphEdit();
std::wstring BinProppage();
// Copies the stand-in to path (the folders must exist).
void CopyGraphEdit(const std::wstring& path);

// "%08x": how the graph's pointer and the process id appear in GraphEdit's list.
std::string Hex8(ULONG_PTR value);

// How many running object table entries end in " pid <dwProcessId as %08x>".
size_t RotEntriesOfProcess(DWORD dwProcessId);

}  // namespace viewertest
