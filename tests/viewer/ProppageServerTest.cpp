// proppage.dll, the property page server stand-in: its registration is what tells the bridge
// that DirectShow's property pages are there and where GraphEdit lives.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "Helpers.h"
#include "TestSupport.h"
#include "ViewerTestSupport.h"

namespace {

using ServerFunction = HRESULT(WINAPI*)();

std::wstring ReadString(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszValue) {
    wchar_t sz[MAX_PATH] = L"";
    DWORD cb = sizeof(sz);
    if (::RegGetValueW(hRoot, pszKey, pszValue, RRF_RT_REG_SZ, nullptr, sz, &cb) != ERROR_SUCCESS) return L"<none>";
    return sz;
}

std::wstring GraphEditPath() {
    return ReadString(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Shared Tools\\Graphedit", L"Path");
}

TEST(ProppageServer, RegistersItselfAndGraphEditBesideItAndUnregistersBoth) {
    viewertest::CProppageValue proppage;  // both values come back as they were, whatever happens
    viewertest::CGraphEditPathValue path;
    HMODULE hModule = ::LoadLibraryW(viewertest::BinProppage().c_str());
    ASSERT_NE(nullptr, hModule);
    auto pfnRegister = reinterpret_cast<ServerFunction>(reinterpret_cast<void*>(::GetProcAddress(hModule, "DllRegisterServer")));
    auto pfnUnregister =
        reinterpret_cast<ServerFunction>(reinterpret_cast<void*>(::GetProcAddress(hModule, "DllUnregisterServer")));
    ASSERT_NE(nullptr, pfnRegister);
    ASSERT_NE(nullptr, pfnUnregister);

    EXPECT_HR(S_OK, pfnUnregister());
    EXPECT_FALSE(CGraphEdit::IsProppageRegistered(nullptr));
    EXPECT_EQ(L"<none>", GraphEditPath());
    EXPECT_HR(S_OK, pfnUnregister());  // nothing left to remove is no failure

    EXPECT_HR(S_OK, pfnRegister());
    wchar_t szPath[MAX_PATH];
    ASSERT_TRUE(CGraphEdit::IsProppageRegistered(szPath));
    EXPECT_EQ(viewertest::Lower(viewertest::BinProppage()), viewertest::Lower(szPath));
    EXPECT_EQ(viewertest::Lower(viewertest::BinGraphEdit()), viewertest::Lower(GraphEditPath()));
    ::FreeLibrary(hModule);
}

}  // namespace
