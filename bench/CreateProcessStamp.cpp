#include "CreateProcessStamp.h"

#include <windows.h>

#include "BenchSupport.h"

namespace bench {
namespace {

using CreateProcessFn = decltype(&::CreateProcessW);
CreateProcessFn g_pfnCreateProcess = nullptr;
double g_usLastCall = 0;

BOOL WINAPI StampedCreateProcessW(LPCWSTR pszApplication, LPWSTR pszCommandLine, LPSECURITY_ATTRIBUTES pProcess,
                                  LPSECURITY_ATTRIBUTES pThread, BOOL bInherit, DWORD dwFlags, LPVOID pEnvironment,
                                  LPCWSTR pszDirectory, LPSTARTUPINFOW pStartup, LPPROCESS_INFORMATION pInfo) {
    g_usLastCall = NowUs();
    return g_pfnCreateProcess(pszApplication, pszCommandLine, pProcess, pThread, bInherit, dwFlags, pEnvironment,
                              pszDirectory, pStartup, pInfo);
}

// The import address table slot of this executable that holds pfn, or null.
void** FindImportSlot(void* pfn) {
    BYTE* pBase = reinterpret_cast<BYTE*>(::GetModuleHandleW(nullptr));
    const auto* pDos = reinterpret_cast<const IMAGE_DOS_HEADER*>(pBase);
    const auto* pNt = reinterpret_cast<const IMAGE_NT_HEADERS*>(pBase + pDos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = pNt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (dir.VirtualAddress == 0) return nullptr;
    for (auto* pImport = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(pBase + dir.VirtualAddress);
         pImport->Name != 0; ++pImport)
        for (auto** ppSlot = reinterpret_cast<void**>(pBase + pImport->FirstThunk); *ppSlot; ++ppSlot)
            if (*ppSlot == pfn) return ppSlot;
    return nullptr;
}

}  // namespace

bool StampCreateProcess() {
    // Through the import itself, as every caller in this executable reaches it.
    g_pfnCreateProcess = &::CreateProcessW;
    void** ppSlot = FindImportSlot(reinterpret_cast<void*>(g_pfnCreateProcess));
    DWORD dwOld = 0;
    if (!ppSlot || !::VirtualProtect(ppSlot, sizeof(*ppSlot), PAGE_READWRITE, &dwOld)) return false;
    *ppSlot = reinterpret_cast<void*>(&StampedCreateProcessW);
    ::VirtualProtect(ppSlot, sizeof(*ppSlot), dwOld, &dwOld);
    return true;
}

double LastCreateProcessUs() { return g_usLastCall; }

}  // namespace bench
