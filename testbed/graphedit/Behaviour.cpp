#include "Behaviour.h"

#include <stdlib.h>

namespace ge {
namespace {

// A misbehaving instance ends by itself after this long unless told otherwise, so that a test
// that fails half-way never leaves one behind.
const DWORD kMisbehaviourLifetimeMs = 5000;
// One that never becomes ready for input gives up sooner: nothing can ever talk to it.
const DWORD kNeverIdleLifetimeMs = 3000;

std::wstring Variable(const wchar_t* pszName) {
    wchar_t sz[MAX_PATH];
    const DWORD cch = ::GetEnvironmentVariableW(pszName, sz, MAX_PATH);
    return cch > 0 && cch < MAX_PATH ? std::wstring(sz, cch) : std::wstring();
}

bool Flag(const wchar_t* pszName) {
    const std::wstring value = Variable(pszName);
    return !value.empty() && value != L"0";
}

// A decimal number of milliseconds, or dwDefault when the variable is not set or not a number.
DWORD Milliseconds(const wchar_t* pszName, DWORD dwDefault) {
    const std::wstring value = Variable(pszName);
    if (value.empty()) return dwDefault;
    wchar_t* pszEnd = nullptr;
    const unsigned long ul = wcstoul(value.c_str(), &pszEnd, 10);
    return *pszEnd == 0 ? static_cast<DWORD>(ul) : dwDefault;
}

}  // namespace

CBehaviour CBehaviour::FromEnvironment() {
    CBehaviour b;
    b.bNeverIdle = Flag(L"GRAPHEDT_NEVER_IDLE");
    b.bHidden = Flag(L"GRAPHEDT_HIDDEN");
    b.dwShowAfterMs = Milliseconds(L"GRAPHEDT_SHOW_AFTER_MS", 0);
    b.bNoFrame = Flag(L"GRAPHEDT_NO_FRAME");
    b.bIgnoreQuit = Flag(L"GRAPHEDT_IGNORE_QUIT");
    b.bLongItems = Flag(L"GRAPHEDT_LONG_ITEMS");
    b.bEmptyList = Flag(L"GRAPHEDT_EMPTY_LIST");
    b.dwSlowListMs = Milliseconds(L"GRAPHEDT_SLOW_LIST_MS", 0);
    b.bDuplicateItems = Flag(L"GRAPHEDT_DUPLICATE_ITEMS");
    b.stateFile = Variable(L"GRAPHEDT_STATE_FILE");
    b.dwExitDelayMs = Milliseconds(L"GRAPHEDT_EXIT_DELAY_MS", 0);
    b.bReleaseAtOnce = Flag(L"GRAPHEDT_RELEASE_AT_ONCE");
    b.dwRefreshMs = Milliseconds(L"GRAPHEDT_REFRESH_MS", b.dwRefreshMs);
    b.dwPollMs = Milliseconds(L"GRAPHEDT_POLL_MS", 0);
    b.dwStopAfterMs = Milliseconds(L"GRAPHEDT_STOP_AFTER_MS", 0);
    b.dwCrashAfterMs = Milliseconds(L"GRAPHEDT_CRASH_AFTER_MS", 0);
    const DWORD dwDefaultLifetime =
        b.bNeverIdle ? kNeverIdleLifetimeMs : (b.Misbehaves() ? kMisbehaviourLifetimeMs : INFINITE);
    b.dwLifetimeMs = Milliseconds(L"GRAPHEDT_LIFETIME_MS", dwDefaultLifetime);
    return b;
}

bool CBehaviour::Misbehaves() const {
    return bNeverIdle || bHidden || dwShowAfterMs != 0 || bNoFrame || bIgnoreQuit || bLongItems || bEmptyList ||
           dwSlowListMs != 0 || bDuplicateItems || dwExitDelayMs != 0;
}

}  // namespace ge
