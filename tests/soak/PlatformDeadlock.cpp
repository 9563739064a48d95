#include "PlatformDeadlock.h"

#include <psapi.h>

#include <algorithm>
#include <vector>

namespace soak {
namespace {

// How far into RpcServerUnregisterIf a return address may point: the function's wait is a few
// hundred bytes in (0x35c in Wine 8.0's build).
const ULONG_PTR kUnregisterSpan = 0x800;
// How much of the stack above the thread's stack pointer is searched.
const SIZE_T kStackSearchBytes = 256 * 1024;

// The module's load address in that process; 0 when it has none or the list cannot be read.
ULONG_PTR RemoteModuleBase(HANDLE hProcess, const wchar_t* pszModule) {
    HMODULE rghModules[512];
    DWORD cb = 0;
    if (!::EnumProcessModulesEx(hProcess, rghModules, sizeof(rghModules), &cb, LIST_MODULES_ALL)) return 0;
    const DWORD cModules = std::min<DWORD>(cb / sizeof(HMODULE), ARRAYSIZE(rghModules));
    for (DWORD i = 0; i < cModules; ++i) {
        wchar_t szName[MAX_PATH];
        if (::GetModuleBaseNameW(hProcess, rghModules[i], szName, MAX_PATH) && lstrcmpiW(szName, pszModule) == 0)
            return reinterpret_cast<ULONG_PTR>(rghModules[i]);
    }
    return 0;
}

// The thread's stack pointer, read while it is suspended; 0 when it cannot be read.
ULONG_PTR StackPointer(DWORD dwThreadId) {
    HANDLE hThread = ::OpenThread(THREAD_GET_CONTEXT | THREAD_SUSPEND_RESUME, FALSE, dwThreadId);
    if (!hThread) return 0;
    CONTEXT context = {};
    context.ContextFlags = CONTEXT_CONTROL;
    ULONG_PTR rsp = 0;
    if (::SuspendThread(hThread) != static_cast<DWORD>(-1)) {
#ifdef _WIN64
        if (::GetThreadContext(hThread, &context)) rsp = context.Rsp;
#else
        if (::GetThreadContext(hThread, &context)) rsp = context.Esp;
#endif
        ::ResumeThread(hThread);
    }
    ::CloseHandle(hThread);
    return rsp;
}

}  // namespace

bool StackReturnsInto(HANDLE hProcess, DWORD dwThreadId, const wchar_t* pszModule, const char* pszFunction,
                      ULONG_PTR cbSpan) {
    // A system DLL's offsets are the same in every process of this system.
    HMODULE hLocal = ::LoadLibraryW(pszModule);
    FARPROC pfn = hLocal ? ::GetProcAddress(hLocal, pszFunction) : nullptr;
    const ULONG_PTR remoteBase = RemoteModuleBase(hProcess, pszModule);
    const ULONG_PTR rsp = StackPointer(dwThreadId);
    if (!pfn || remoteBase == 0 || rsp == 0) return false;
    const ULONG_PTR first = remoteBase + (reinterpret_cast<ULONG_PTR>(pfn) - reinterpret_cast<ULONG_PTR>(hLocal));
    MEMORY_BASIC_INFORMATION region = {};
    if (!::VirtualQueryEx(hProcess, reinterpret_cast<void*>(rsp), &region, sizeof(region))) return false;
    const ULONG_PTR regionEnd = reinterpret_cast<ULONG_PTR>(region.BaseAddress) + region.RegionSize;
    std::vector<ULONG_PTR> stack(std::min<SIZE_T>(regionEnd - rsp, kStackSearchBytes) / sizeof(ULONG_PTR));
    SIZE_T cbRead = 0;
    if (stack.empty() || !::ReadProcessMemory(hProcess, reinterpret_cast<void*>(rsp), stack.data(),
                                              stack.size() * sizeof(ULONG_PTR), &cbRead))
        return false;
    stack.resize(cbRead / sizeof(ULONG_PTR));
    for (ULONG_PTR value : stack)
        if (value > first && value < first + cbSpan) return true;
    return false;
}

bool WaitsInRpcServerUnregisterIf(HANDLE hProcess, DWORD dwThreadId) {
    return StackReturnsInto(hProcess, dwThreadId, L"rpcrt4.dll", "RpcServerUnregisterIf", kUnregisterSpan);
}

}  // namespace soak
