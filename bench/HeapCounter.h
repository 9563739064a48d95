// Counts the heap allocations one thread makes, in every module of the process.
//
// How: every loaded module's import address table (ordinary and delay-load imports) is
// searched for the heap allocator, ntdll's RtlAllocateHeap and RtlReAllocateHeap (which
// kernel32's and kernelbase's HeapAlloc and HeapReAlloc forward to, so their slots hold the
// same addresses), and those slots are pointed at counting wrappers that call the original.
// HeapAlloc, LocalAlloc, GlobalAlloc, CoTaskMemAlloc, SysAllocString, malloc and operator new
// all end in one of them, called through some module's imports.
//
// What it cannot see: allocations ntdll makes by calling its own allocator directly, and those
// Wine's Unix-side libraries make from the host's malloc (on Windows that is kernel memory, not
// the process heap). Modules loaded after Install are not patched: install after warming up.
// SelfCheck makes allocations it knows of through other modules and tells whether they were seen.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

namespace bench {

class HeapCounter {
public:
    // Patches every loaded module; the number of import slots patched (0: nothing to count with).
    static int Install();
    // Counts allocations made by the calling thread from now on; resets the count.
    static void Start();
    // Stops counting; the allocations counted since Start.
    static long Stop();
    // The modules (file names) whose code called the allocator while counting, since the last
    // ForgetCallers; "none" when none did.
    static void ForgetCallers();
    static std::string Callers();
    // Whether allocations made through this program's imports, msvcrt (malloc), combase
    // (CoTaskMemAlloc) and oleaut32 (SysAllocStringLen) are counted; pszDetail (cch characters)
    // receives what each gave.
    static bool SelfCheck(char* pszDetail, size_t cch);
};

}  // namespace bench
