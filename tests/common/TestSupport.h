// Shared helpers of the test executables.
#pragma once

#include <objbase.h>

#include <string>
#include <vector>

namespace test {

// One collected debug assertion.
struct Assertion {
    std::wstring source;
    int line = 0;
    std::wstring expression;
};

// Collects the debug assertions raised while it lives (installs the framework's hook).
class AssertionCollector {
public:
    AssertionCollector();
    ~AssertionCollector();
    AssertionCollector(const AssertionCollector&) = delete;
    AssertionCollector& operator=(const AssertionCollector&) = delete;

    const std::vector<Assertion>& All() const;
    // The expressions raised by one source file, in order.
    std::vector<std::wstring> Expressions(const std::wstring& source) const;
    void Clear();
};

// AddRef then Release: the object's current reference count.
ULONG RefCount(IUnknown* p);

// Folder of the test executables and the test bed's binaries.
std::wstring BinDir();
// A fresh, empty folder for one test, under the prefix's temporary folder.
std::wstring MakeTempDir(const wchar_t* pszTag);
std::string Narrow(const std::wstring& text);
std::wstring HrText(HRESULT hr);

}  // namespace test

#define EXPECT_HR(expected, actual) \
    EXPECT_EQ(::test::HrText(expected), ::test::HrText(actual))
#define ASSERT_HR(expected, actual) \
    ASSERT_EQ(::test::HrText(expected), ::test::HrText(actual))
