// Book-keeping shared by every COM object of testfilters.dll: the module handle, the count of
// live objects (TestbedLiveObjects, DllCanUnloadNow) and a scoped critical-section lock.
#pragma once

#include <windows.h>

namespace tb {

HMODULE ModuleHandle();
LONG LiveObjects();
LONG ServerLocks();
void LockServer(bool bLock);

// Base of every COM object of the DLL: counts itself while it lives.
class CCountedObject {
protected:
    CCountedObject();
    ~CCountedObject();
    CCountedObject(const CCountedObject&) = delete;
    CCountedObject& operator=(const CCountedObject&) = delete;
};

// An owned CRITICAL_SECTION.
class CCritSec {
public:
    CCritSec() { ::InitializeCriticalSection(&m_cs); }
    ~CCritSec() { ::DeleteCriticalSection(&m_cs); }
    CCritSec(const CCritSec&) = delete;
    CCritSec& operator=(const CCritSec&) = delete;
    void Lock() { ::EnterCriticalSection(&m_cs); }
    void Unlock() { ::LeaveCriticalSection(&m_cs); }
    // True when the calling thread holds the lock (for assertions about lock rules).
    bool IsHeldByMe() const {
        return m_cs.OwningThread == reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(::GetCurrentThreadId()));
    }

private:
    CRITICAL_SECTION m_cs;
};

// Holds a CCritSec for one scope.
class CAutoLock {
public:
    explicit CAutoLock(CCritSec& cs) : m_cs(cs) { m_cs.Lock(); }
    ~CAutoLock() { m_cs.Unlock(); }
    CAutoLock(const CAutoLock&) = delete;
    CAutoLock& operator=(const CAutoLock&) = delete;

private:
    CCritSec& m_cs;
};

}  // namespace tb
