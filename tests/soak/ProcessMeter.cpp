#include "ProcessMeter.h"

#include <psapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <vector>

namespace soak {
namespace {

bool CountThreads(DWORD dwProcessId, DWORD* pcThreads) {
    HANDLE hSnapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (hSnapshot == INVALID_HANDLE_VALUE) return false;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    DWORD cThreads = 0;
    for (BOOL bMore = ::Thread32First(hSnapshot, &entry); bMore; bMore = ::Thread32Next(hSnapshot, &entry))
        if (entry.th32OwnerProcessID == dwProcessId) ++cThreads;
    ::CloseHandle(hSnapshot);
    *pcThreads = cThreads;
    return true;
}

bool PrivateBytes(HANDLE hProcess, ResourceSample& sample) {
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof(counters);
    if (!::GetProcessMemoryInfo(hProcess, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof(counters)))
        return false;
    sample.bPrivateFromPagefile = counters.PrivateUsage == 0;
    sample.cbPrivate = sample.bPrivateFromPagefile ? counters.PagefileUsage : counters.PrivateUsage;
    return true;
}

// The handle count of the process's entry in the system process list.
bool HandlesFromProcessList(DWORD dwProcessId, DWORD* pcHandles) {
    std::vector<BYTE> buffer(256 * 1024);
    ULONG cbNeeded = 0;
    NTSTATUS status;
    while ((status = ::NtQuerySystemInformation(SystemProcessInformation, buffer.data(),
                                                static_cast<ULONG>(buffer.size()), &cbNeeded)) ==
           static_cast<NTSTATUS>(0xC0000004L))  // STATUS_INFO_LENGTH_MISMATCH
        buffer.resize(buffer.size() * 2);
    if (status != 0) return false;
    for (size_t offset = 0;;) {
        const auto* pInfo = reinterpret_cast<const SYSTEM_PROCESS_INFORMATION*>(buffer.data() + offset);
        if (static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(pInfo->UniqueProcessId)) == dwProcessId) {
            *pcHandles = pInfo->HandleCount;
            return true;
        }
        if (!pInfo->NextEntryOffset) return false;
        offset += pInfo->NextEntryOffset;
    }
}

// The open handles among the first cSlots handle values (multiples of 4): a value is in use when
// it can be duplicated. Nothing changes in the program; each copy is closed at once.
DWORD HandlesByDuplication(HANDLE hProcess, DWORD cSlots) {
    DWORD cHandles = 0;
    for (DWORD i = 1; i <= cSlots; ++i) {
        HANDLE hCopy = nullptr;
        if (::DuplicateHandle(hProcess, reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(i) * 4),
                              ::GetCurrentProcess(), &hCopy, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
            ::CloseHandle(hCopy);
            ++cHandles;
        }
    }
    return cHandles;
}

bool Handles(HANDLE hProcess, DWORD dwProcessId, ResourceSample& sample) {
    if (!::GetProcessHandleCount(hProcess, &sample.cHandles)) return false;
    // No running process holds no handle at all: 0 means the call only pretended to count.
    sample.bHandlesFromList = sample.cHandles == 0;
    if (!sample.bHandlesFromList) return true;
    // The list's figure is the size of the process's handle table (it grows in steps, by
    // doubling), an upper bound of the open handles: every value in use lies below it.
    DWORD cSlots = 0;
    if (!HandlesFromProcessList(dwProcessId, &cSlots)) return false;
    sample.cHandles = HandlesByDuplication(hProcess, cSlots + 1);
    return true;
}

struct WindowCount {
    DWORD dwProcessId;
    DWORD cWindows;
};

BOOL CALLBACK CountChild(HWND hWnd, LPARAM lParam) {
    auto* pCount = reinterpret_cast<WindowCount*>(lParam);
    DWORD dwProcessId = 0;
    ::GetWindowThreadProcessId(hWnd, &dwProcessId);
    if (dwProcessId == pCount->dwProcessId) ++pCount->cWindows;
    return TRUE;
}

// EnumChildWindows goes through all descendants, so each top-level window and its tree.
BOOL CALLBACK CountTopLevel(HWND hWnd, LPARAM lParam) {
    CountChild(hWnd, lParam);
    ::EnumChildWindows(hWnd, CountChild, lParam);
    return TRUE;
}

DWORD CountWindows(DWORD dwProcessId) {
    WindowCount count = {dwProcessId, 0};
    ::EnumWindows(CountTopLevel, reinterpret_cast<LPARAM>(&count));
    return count.cWindows;
}

}  // namespace

bool CountGraphEditProcesses(DWORD* pcProcesses) {
    HANDLE hSnapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (hSnapshot == INVALID_HANDLE_VALUE) return false;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    DWORD cProcesses = 0;
    for (BOOL bMore = ::Process32FirstW(hSnapshot, &entry); bMore; bMore = ::Process32NextW(hSnapshot, &entry))
        if (::lstrcmpiW(entry.szExeFile, L"graphedt.exe") == 0) ++cProcesses;
    ::CloseHandle(hSnapshot);
    *pcProcesses = cProcesses;
    return true;
}

namespace {

std::vector<DWORD> GraphEditProcessIds() {
    std::vector<DWORD> ids;
    HANDLE hSnapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (hSnapshot == INVALID_HANDLE_VALUE) return ids;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL bMore = ::Process32FirstW(hSnapshot, &entry); bMore; bMore = ::Process32NextW(hSnapshot, &entry))
        if (::lstrcmpiW(entry.szExeFile, L"graphedt.exe") == 0) ids.push_back(entry.th32ProcessID);
    ::CloseHandle(hSnapshot);
    return ids;
}

void PostQuitToThreads(DWORD dwProcessId) {
    HANDLE hSnapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (hSnapshot == INVALID_HANDLE_VALUE) return;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL bMore = ::Thread32First(hSnapshot, &entry); bMore; bMore = ::Thread32Next(hSnapshot, &entry))
        if (entry.th32OwnerProcessID == dwProcessId) ::PostThreadMessageW(entry.th32ThreadID, WM_QUIT, 0, 0);
    ::CloseHandle(hSnapshot);
}

// WM_QUIT until it ends (a GraphEdit still starting has no message queue to take it yet);
// ended by force when it does not within dwTimeoutMs.
void EndGraphEdit(DWORD dwProcessId, DWORD dwTimeoutMs) {
    HANDLE hProcess = ::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, dwProcessId);
    if (!hProcess) return;
    const DWORD kRetryMs = 50;
    DWORD dwWaited = 0;
    for (; dwWaited < dwTimeoutMs; dwWaited += kRetryMs) {
        PostQuitToThreads(dwProcessId);
        if (::WaitForSingleObject(hProcess, kRetryMs) == WAIT_OBJECT_0) break;
    }
    if (dwWaited >= dwTimeoutMs) ::TerminateProcess(hProcess, 1);
    ::CloseHandle(hProcess);
}

}  // namespace

int EndGraphEditProcesses(DWORD dwTimeoutMs) {
    const std::vector<DWORD> ids = GraphEditProcessIds();
    for (DWORD dwProcessId : ids) EndGraphEdit(dwProcessId, dwTimeoutMs);
    return static_cast<int>(ids.size());
}

DWORD CountHandles(HANDLE hProcess, DWORD dwProcessId) {
    ResourceSample sample;
    return Handles(hProcess, dwProcessId, sample) ? sample.cHandles : 0;
}

ResourceSample Measure(HANDLE hProcess, DWORD dwProcessId, bool* pbComplete) {
    ResourceSample sample;
    bool bComplete = Handles(hProcess, dwProcessId, sample);
    // GetGuiResources answers 0 both for "none" and for a failure; only the last error tells.
    ::SetLastError(ERROR_SUCCESS);
    sample.cGdiObjects = ::GetGuiResources(hProcess, GR_GDIOBJECTS);
    sample.cUserObjects = ::GetGuiResources(hProcess, GR_USEROBJECTS);
    sample.bGuiCounted = ::GetLastError() == ERROR_SUCCESS;
    sample.cWindows = CountWindows(dwProcessId);
    bComplete = PrivateBytes(hProcess, sample) && bComplete;
    bComplete = CountThreads(dwProcessId, &sample.cThreads) && bComplete;
    bComplete = CountGraphEditProcesses(&sample.cGraphEdits) && bComplete;
    if (pbComplete) *pbComplete = bComplete;
    return sample;
}

}  // namespace soak
