#include "HeapCounter.h"

#include <delayimp.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace bench {
namespace {

using AllocateFn = void*(WINAPI*)(HANDLE hHeap, ULONG dwFlags, SIZE_T cb);
using ReAllocateFn = void*(WINAPI*)(HANDLE hHeap, ULONG dwFlags, void* p, SIZE_T cb);

AllocateFn g_pfnAllocate = nullptr;
ReAllocateFn g_pfnReAllocate = nullptr;
// Written by the counting thread only; other threads read g_dwCountingThread and find no match.
volatile DWORD g_dwCountingThread = 0;
volatile LONG g_cAllocations = 0;
// The modules that called the allocator while counting, first come first.
const int kMaxCallers = 4;
HMODULE g_rghCallers[kMaxCallers] = {};

void Count(void* pReturnAddress) {
    if (g_dwCountingThread != ::GetCurrentThreadId()) return;
    ::InterlockedIncrement(&g_cAllocations);
    HMODULE hModule = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         static_cast<const wchar_t*>(pReturnAddress), &hModule);
    for (HMODULE& hCaller : g_rghCallers) {
        if (hCaller == hModule) break;
        if (!hCaller) {
            hCaller = hModule;
            break;
        }
    }
}

void* WINAPI CountingAllocate(HANDLE hHeap, ULONG dwFlags, SIZE_T cb) {
    Count(__builtin_return_address(0));
    return g_pfnAllocate(hHeap, dwFlags, cb);
}

void* WINAPI CountingReAllocate(HANDLE hHeap, ULONG dwFlags, void* p, SIZE_T cb) {
    Count(__builtin_return_address(0));
    return g_pfnReAllocate(hHeap, dwFlags, p, cb);
}

// The addresses an import slot holds when it names the allocator, and what to put there instead.
struct Target {
    std::vector<void*> originals;
    void* pReplacement;
};

void* Export(HMODULE hModule, const char* pszName) {
    return hModule ? reinterpret_cast<void*>(::GetProcAddress(hModule, pszName)) : nullptr;
}

void AddExport(Target& target, const wchar_t* pszModule, const char* pszName) {
    void* p = Export(::GetModuleHandleW(pszModule), pszName);
    if (p) target.originals.push_back(p);
}

bool PatchSlot(void** pSlot, const Target* pTargets, int cTargets) {
    for (int i = 0; i < cTargets; ++i)
        for (void* pOriginal : pTargets[i].originals) {
            if (*pSlot != pOriginal) continue;
            DWORD dwOld = 0;
            if (!::VirtualProtect(pSlot, sizeof(void*), PAGE_READWRITE, &dwOld)) return false;
            *pSlot = pTargets[i].pReplacement;
            ::VirtualProtect(pSlot, sizeof(void*), dwOld, &dwOld);
            return true;
        }
    return false;
}

int PatchThunks(BYTE* pBase, DWORD rvaThunks, const Target* pTargets, int cTargets) {
    int cPatched = 0;
    for (auto* pThunk = reinterpret_cast<IMAGE_THUNK_DATA*>(pBase + rvaThunks); pThunk->u1.Function; ++pThunk)
        if (PatchSlot(reinterpret_cast<void**>(&pThunk->u1.Function), pTargets, cTargets)) ++cPatched;
    return cPatched;
}

int PatchModule(HMODULE hModule, const Target* pTargets, int cTargets) {
    auto* pBase = reinterpret_cast<BYTE*>(hModule);
    auto* pDos = reinterpret_cast<IMAGE_DOS_HEADER*>(pBase);
    if (pDos->e_magic != IMAGE_DOS_SIGNATURE) return 0;
    auto* pNt = reinterpret_cast<IMAGE_NT_HEADERS*>(pBase + pDos->e_lfanew);
    if (pNt->Signature != IMAGE_NT_SIGNATURE) return 0;
    const IMAGE_DATA_DIRECTORY* pDirs = pNt->OptionalHeader.DataDirectory;
    int cPatched = 0;

    const IMAGE_DATA_DIRECTORY& imports = pDirs[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress && imports.Size)
        for (auto* pDesc = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(pBase + imports.VirtualAddress); pDesc->Name;
             ++pDesc)
            cPatched += PatchThunks(pBase, pDesc->FirstThunk, pTargets, cTargets);

    // Delay-load slots hold the allocator only once resolved; the others are left alone.
    const IMAGE_DATA_DIRECTORY& delayed = pDirs[IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT];
    if (delayed.VirtualAddress && delayed.Size)
        for (auto* pDesc = reinterpret_cast<ImgDelayDescr*>(pBase + delayed.VirtualAddress); pDesc->rvaDLLName;
             ++pDesc)
            cPatched += PatchThunks(pBase, pDesc->rvaIAT, pTargets, cTargets);
    return cPatched;
}

}  // namespace

int HeapCounter::Install() {
    HMODULE hNtdll = ::GetModuleHandleW(L"ntdll.dll");
    g_pfnAllocate = reinterpret_cast<AllocateFn>(Export(hNtdll, "RtlAllocateHeap"));
    g_pfnReAllocate = reinterpret_cast<ReAllocateFn>(Export(hNtdll, "RtlReAllocateHeap"));
    if (!g_pfnAllocate || !g_pfnReAllocate) return 0;

    Target targets[2] = {{{}, reinterpret_cast<void*>(CountingAllocate)},
                         {{}, reinterpret_cast<void*>(CountingReAllocate)}};
    const wchar_t* rgpszModules[] = {L"ntdll.dll", L"kernelbase.dll", L"kernel32.dll"};
    for (const wchar_t* pszModule : rgpszModules) {
        AddExport(targets[0], pszModule, pszModule[0] == L'n' ? "RtlAllocateHeap" : "HeapAlloc");
        AddExport(targets[1], pszModule, pszModule[0] == L'n' ? "RtlReAllocateHeap" : "HeapReAlloc");
    }

    HMODULE rghModules[1024];
    DWORD cb = 0;
    if (!::EnumProcessModules(::GetCurrentProcess(), rghModules, sizeof(rghModules), &cb)) return 0;
    int cPatched = 0;
    for (DWORD i = 0; i < cb / sizeof(HMODULE) && i < ARRAYSIZE(rghModules); ++i)
        if (rghModules[i] != hNtdll) cPatched += PatchModule(rghModules[i], targets, 2);
    return cPatched;
}

void HeapCounter::Start() {
    g_cAllocations = 0;
    g_dwCountingThread = ::GetCurrentThreadId();
}

long HeapCounter::Stop() {
    g_dwCountingThread = 0;
    return g_cAllocations;
}

void HeapCounter::ForgetCallers() {
    for (HMODULE& hCaller : g_rghCallers) hCaller = nullptr;
}

std::string HeapCounter::Callers() {
    std::string names;
    for (HMODULE hCaller : g_rghCallers) {
        if (!hCaller) break;
        char sz[MAX_PATH];
        const DWORD cch = ::GetModuleFileNameA(hCaller, sz, MAX_PATH);
        std::string path(sz, cch);
        names += (names.empty() ? "" : ", ") + path.substr(path.find_last_of('\\') + 1);
    }
    return names.empty() ? "none" : names;
}

bool HeapCounter::SelfCheck(char* pszDetail, size_t cch) {
    // One allocation each; oleaut32's string cache is bypassed by a size it has not seen.
    Start();
    ::HeapFree(::GetProcessHeap(), 0, ::HeapAlloc(::GetProcessHeap(), 0, 24));
    const long cOwn = Stop();
    Start();
    void* volatile p = std::malloc(40);  // volatile: the compiler may not drop the pair
    std::free(p);
    const long cMsvcrt = Stop();
    Start();
    ::CoTaskMemFree(::CoTaskMemAlloc(56));
    const long cCombase = Stop();
    Start();
    ::SysFreeString(::SysAllocStringLen(nullptr, 1000 + ::GetCurrentProcessId() % 7));
    const long cOleaut = Stop();
    std::snprintf(pszDetail, cch, "HeapAlloc %ld, malloc %ld, CoTaskMemAlloc %ld, SysAllocStringLen %ld", cOwn,
                  cMsvcrt, cCombase, cOleaut);
    return cOwn >= 1 && cMsvcrt >= 1 && cCombase >= 1 && cOleaut >= 1;
}

}  // namespace bench
