// BSTR holder: owns one BSTR. A null BSTR reads as the empty string.
// A failed allocation throws ComException carrying E_OUTOFMEMORY.
#pragma once

#include <oleauto.h>

#include "Debug.h"

#include <memory>
#include <utility>

namespace fw {

struct ComException {
    HRESULT hr;
};

class ComBstr {
public:
    ComBstr() = default;
    explicit ComBstr(const wchar_t* psz) { Assign(psz); }
    ComBstr(const ComBstr& other) { Assign(other.m_str); }
    ComBstr(ComBstr&& other) noexcept : m_str(other.Detach()) {}
    ~ComBstr() { Free(); }

    ComBstr& operator=(const ComBstr& other) {
        if (this != std::addressof(other)) Assign(other.m_str);
        return *this;
    }
    ComBstr& operator=(ComBstr&& other) noexcept {
        if (this != std::addressof(other)) {
            Free();
            m_str = other.Detach();
        }
        return *this;
    }
    ComBstr& operator=(const wchar_t* psz) {
        Assign(psz);
        return *this;
    }

    BSTR Get() const { return m_str; }
    operator BSTR() const { return m_str; }
    // Never null: a null BSTR reads as "".
    const wchar_t* Text() const { return m_str ? m_str : L""; }
    unsigned Length() const { return ::SysStringLen(m_str); }
    bool IsNull() const { return m_str == nullptr; }

    // Address for an out-parameter; the holder must be empty, so nothing is leaked.
    BSTR* operator&() {
        FW_ASSERT_FRAMEWORK(m_str == nullptr);
        return &m_str;
    }

    void Free() {
        ::SysFreeString(m_str);
        m_str = nullptr;
    }
    BSTR Detach() { return std::exchange(m_str, nullptr); }
    void Attach(BSTR str) {
        Free();
        m_str = str;
    }

private:
    // A null source gives a null BSTR; anything else must allocate or throw.
    void Assign(const wchar_t* psz) {
        BSTR copy = nullptr;
        if (psz) {
            copy = ::SysAllocString(psz);
            if (!copy) throw ComException{E_OUTOFMEMORY};
        }
        Free();
        m_str = copy;
    }

    BSTR m_str = nullptr;
};

}  // namespace fw
