// The interface and BSTR holders against real COM objects (a stream on global memory).
#include <objbase.h>

#include <gtest/gtest.h>

#include "ComBstr.h"
#include "ComPtr.h"
#include "TestSupport.h"

namespace {

IStream* NewStream() {
    IStream* p = nullptr;
    EXPECT_HR(S_OK, ::CreateStreamOnHGlobal(nullptr, TRUE, &p));
    return p;
}

TEST(ComPtr, HoldsOneReferenceAndReleasesItWhenDestroyed) {
    IStream* pRaw = NewStream();
    {
        fw::ComPtr<IStream> sp(pRaw);
        EXPECT_EQ(2u, test::RefCount(pRaw));
        fw::ComPtr<IStream> spCopy = sp;
        EXPECT_EQ(3u, test::RefCount(pRaw));
        fw::ComPtr<IStream> spMoved = std::move(spCopy);
        EXPECT_EQ(3u, test::RefCount(pRaw));
        EXPECT_TRUE(spCopy == nullptr);
    }
    EXPECT_EQ(0u, pRaw->Release());
}

TEST(ComPtr, ReassignmentReleasesThePreviousInterface) {
    IStream* pFirst = NewStream();
    IStream* pSecond = NewStream();
    fw::ComPtr<IStream> sp(pFirst);
    sp = pSecond;
    EXPECT_EQ(1u, test::RefCount(pFirst));
    EXPECT_EQ(2u, test::RefCount(pSecond));
    sp = pSecond;  // the same pointer again must not drop its last reference
    EXPECT_EQ(2u, test::RefCount(pSecond));
    sp.Release();
    EXPECT_TRUE(sp == nullptr);
    EXPECT_EQ(0u, pFirst->Release());
    EXPECT_EQ(0u, pSecond->Release());
}

TEST(ComPtr, AddressOfANonEmptyHolderIsReported) {
    test::AssertionCollector collector;
    fw::ComPtr<IStream> sp;
    *&sp = NewStream();
    EXPECT_TRUE(collector.All().empty());
#ifdef _DEBUG
    (void)&sp;
    ASSERT_EQ(1u, collector.All().size());
    EXPECT_EQ(L"framework", collector.All()[0].source);
    EXPECT_EQ(L"m_p == nullptr", collector.All()[0].expression);
#endif
}

TEST(ComPtr, CoCreateInstanceCreatesTheRequestedInterface) {
    fw::ComPtr<IStorage> sp;
    EXPECT_HR(REGDB_E_CLASSNOTREG, sp.CoCreateInstance(GUID_NULL));
    EXPECT_TRUE(sp == nullptr);
}

TEST(ComQIPtr, AsksTheSourceForTheInterface) {
    fw::ComPtr<IStream> spStream;
    spStream.Attach(NewStream());
    fw::ComQIPtr<ISequentialStream> spSequential(spStream);
    EXPECT_TRUE(spSequential != nullptr);
    fw::ComQIPtr<IStorage> spStorage(spStream);
    EXPECT_TRUE(spStorage == nullptr);
    fw::ComQIPtr<IStorage> spFromNull(static_cast<IUnknown*>(nullptr));
    EXPECT_TRUE(spFromNull == nullptr);
    spSequential.Release();
    EXPECT_EQ(0u, spStream.Detach()->Release());
}

TEST(ComBstr, NullReadsAsEmpty) {
    fw::ComBstr cbs;
    EXPECT_TRUE(cbs.IsNull());
    EXPECT_STREQ(L"", cbs.Text());
    EXPECT_EQ(0u, cbs.Length());
}

TEST(ComBstr, CopiesAndFrees) {
    fw::ComBstr cbs(L"Writer");
    EXPECT_STREQ(L"Writer", cbs.Text());
    fw::ComBstr cbsCopy = cbs;
    EXPECT_NE(cbs.Get(), cbsCopy.Get());
    EXPECT_STREQ(L"Writer", cbsCopy.Text());
    cbs.Free();
    EXPECT_TRUE(cbs.IsNull());
    cbs = static_cast<const wchar_t*>(nullptr);
    EXPECT_TRUE(cbs.IsNull());
}

TEST(ComBstr, ReceivesAnOutParameter) {
    fw::ComBstr cbs;
    BSTR* pbstr = &cbs;
    *pbstr = ::SysAllocString(L"17.05.22");
    EXPECT_STREQ(L"17.05.22", cbs.Text());
    EXPECT_EQ(8u, cbs.Length());
}

}  // namespace
