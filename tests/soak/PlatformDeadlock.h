// Recognises, from outside, the one deadlock of Wine 8's COM runtime that the soak meets: a
// client's last release of an object is served on the program's dialog thread, and there
// RpcServerUnregisterIf (rpcrt4.dll) waits for a call on one of the object's interfaces that
// is itself queued for that same thread. Both wait for ever; the dialog stops answering. Seen
// with none of the program's code too (soak_remote.exe hangs the same way); Windows' COM does
// not wait there.
#pragma once

#include <windows.h>

namespace soak {

// Whether the thread's stack, from its stack pointer up, holds a return address into the first
// cbSpan bytes of the module's exported function: a call from there has not returned. Read
// from outside its process while the thread is suspended (hProcess needs
// PROCESS_QUERY_INFORMATION and PROCESS_VM_READ). False when it does not, or when anything
// cannot be read.
bool StackReturnsInto(HANDLE hProcess, DWORD dwThreadId, const wchar_t* pszModule, const char* pszFunction,
                      ULONG_PTR cbSpan);

// The deadlock above: a return address into rpcrt4.dll's RpcServerUnregisterIf.
bool WaitsInRpcServerUnregisterIf(HANDLE hProcess, DWORD dwThreadId);

}  // namespace soak
