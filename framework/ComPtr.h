// Interface holders: ComPtr<T> owns one reference on a COM interface or is empty;
// ComQIPtr<T> is built from another interface pointer and asks it for T.
#pragma once

#include <objbase.h>

#include "Debug.h"

#include <memory>
#include <utility>

namespace fw {

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(T* p) : m_p(p) { if (m_p) m_p->AddRef(); }
    ComPtr(const ComPtr& other) : ComPtr(other.m_p) {}
    ComPtr(ComPtr&& other) noexcept : m_p(other.Detach()) {}
    ~ComPtr() { Release(); }

    ComPtr& operator=(const ComPtr& other) { Reset(other.m_p); return *this; }
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != std::addressof(other)) Attach(other.Detach());
        return *this;
    }
    ComPtr& operator=(T* p) { Reset(p); return *this; }

    T* Get() const { return m_p; }
    operator T*() const { return m_p; }
    T* operator->() const { return m_p; }

    // Address for an out-parameter; the holder must be empty, so nothing is leaked.
    T** operator&() {
        FW_ASSERT_FRAMEWORK(m_p == nullptr);
        return &m_p;
    }

    // Releases the reference; the holder is empty afterwards.
    void Release() {
        T* p = m_p;
        m_p = nullptr;
        if (p) p->Release();
    }
    // Takes a new reference on p (AddRef first, so resetting to the same pointer is safe).
    void Reset(T* p) {
        if (p) p->AddRef();
        T* old = m_p;
        m_p = p;
        if (old) old->Release();
    }
    // Takes over a reference the caller already owns.
    void Attach(T* p) {
        T* old = m_p;
        m_p = p;
        if (old) old->Release();
    }
    T* Detach() { return std::exchange(m_p, nullptr); }

    HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* pOuter = nullptr,
                             DWORD dwClsContext = CLSCTX_INPROC_SERVER) {
        Release();
        return ::CoCreateInstance(clsid, pOuter, dwClsContext, __uuidof(T),
                                  reinterpret_cast<void**>(&m_p));
    }

    template <class Q>
    HRESULT QueryInterface(Q** pp) const {
        return m_p->QueryInterface(__uuidof(Q), reinterpret_cast<void**>(pp));
    }

private:
    T* m_p = nullptr;
};

template <class T>
class ComQIPtr : public ComPtr<T> {
public:
    ComQIPtr() = default;
    // Stays empty when p is null or does not offer T. A holder is accepted too: ComPtr<U>
    // converts to U*, which converts to IUnknown*.
    explicit ComQIPtr(IUnknown* p) {
        if (p) p->QueryInterface(__uuidof(T), reinterpret_cast<void**>(&*this));
    }
};

}  // namespace fw
