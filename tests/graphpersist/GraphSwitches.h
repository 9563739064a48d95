// Sets one of the test bed graph manager's switches (an environment variable that grfpersist.dll
// reads each time it makes a graph manager) for the life of the object, and restores the
// previous value, or its absence, afterwards.
#pragma once

#include <windows.h>

#include <string>

namespace test {

class ScopedGraphSwitch {
public:
    ScopedGraphSwitch(const wchar_t* pszName, const wchar_t* pszValue) : m_name(pszName) {
        wchar_t sz[512];
        DWORD cch = ::GetEnvironmentVariableW(pszName, sz, 512);
        m_bHadValue = cch > 0 && cch < 512;
        if (m_bHadValue) m_previous.assign(sz, cch);
        ::SetEnvironmentVariableW(pszName, pszValue);
    }
    ~ScopedGraphSwitch() { ::SetEnvironmentVariableW(m_name.c_str(), m_bHadValue ? m_previous.c_str() : nullptr); }
    ScopedGraphSwitch(const ScopedGraphSwitch&) = delete;
    ScopedGraphSwitch& operator=(const ScopedGraphSwitch&) = delete;

private:
    std::wstring m_name;
    std::wstring m_previous;
    bool m_bHadValue = false;
};

}  // namespace test
