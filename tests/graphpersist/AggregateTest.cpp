// The graph manager that CoCreateInstance(CLSID_FilterGraph) gives in the test prefix:
// our persistence object aggregating Wine's own graph manager.
#include <dshow.h>

#include <gtest/gtest.h>

#include "GraphSwitches.h"
#include "PersistTestSupport.h"
#include "TestSupport.h"

using namespace persisttest;

namespace {

const CLSID CLSID_NullRendererFilter = {0xC1F400A4, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};

fw::ComPtr<IUnknown> CreateAggregate() {
    fw::ComPtr<IUnknown> spUnknown;
    EXPECT_HR(S_OK, spUnknown.CoCreateInstance(CLSID_FilterGraph));
    return spUnknown;
}

// What the object answers for iid, and whether its IUnknown is the aggregate's identity.
void CheckInterface(IUnknown* pObject, REFIID riid, bool bSupported, int nLine) {
    SCOPED_TRACE(testing::Message() << "checked at line " << nLine);
    IUnknown* pInterface = reinterpret_cast<IUnknown*>(0x1);
    HRESULT hr = pObject->QueryInterface(riid, reinterpret_cast<void**>(&pInterface));
    EXPECT_HR(bSupported ? S_OK : E_NOINTERFACE, hr);
    if (!bSupported) {
        EXPECT_EQ(nullptr, pInterface);
        return;
    }
    ASSERT_NE(nullptr, pInterface);
    IUnknown* pIdentity = nullptr;
    EXPECT_HR(S_OK, pInterface->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&pIdentity)));
    EXPECT_EQ(pObject, pIdentity) << "QueryInterface(IUnknown) must give the outer object";
    // The interface knows the outer object's interfaces too, whichever object implements it.
    IPersistStream* pPersist = nullptr;
    EXPECT_HR(S_OK, pInterface->QueryInterface(IID_IPersistStream, reinterpret_cast<void**>(&pPersist)));
    if (pPersist) pPersist->Release();
    if (pIdentity) pIdentity->Release();
    pInterface->Release();
}
#define CHECK_INTERFACE(obj, iid, supported) CheckInterface(obj, iid, supported, __LINE__)

}  // namespace

TEST(GraphAggregate, OffersPersistenceAndPassesTheGraphManagerThrough) {
    fw::ComPtr<IUnknown> spGraph = CreateAggregate();
    ASSERT_TRUE(spGraph);
    CHECK_INTERFACE(spGraph, IID_IUnknown, true);
    CHECK_INTERFACE(spGraph, IID_IPersist, true);
    CHECK_INTERFACE(spGraph, IID_IPersistStream, true);
    CHECK_INTERFACE(spGraph, IID_IFilterGraph, true);
    CHECK_INTERFACE(spGraph, IID_IGraphBuilder, true);
    CHECK_INTERFACE(spGraph, IID_IFilterGraph2, true);
    CHECK_INTERFACE(spGraph, IID_IMediaControl, true);
    CHECK_INTERFACE(spGraph, IID_IMediaSeeking, true);
    CHECK_INTERFACE(spGraph, IID_IMediaEventEx, true);
    CHECK_INTERFACE(spGraph, IID_IMediaFilter, true);
    CHECK_INTERFACE(spGraph, IID_IBaseFilter, false);
    CHECK_INTERFACE(spGraph, IID_IClassFactory, false);
    CHECK_INTERFACE(spGraph, IID_IPersistStorage, false);
    EXPECT_EQ(1u, test::RefCount(spGraph));
}

TEST(GraphAggregate, ClassIdIsTheFilterGraphs) {
    fw::ComQIPtr<IPersistStream> spPersist(CreateAggregate());
    ASSERT_TRUE(spPersist);
    CLSID clsid = GUID_NULL;
    EXPECT_HR(S_OK, spPersist->GetClassID(&clsid));
    EXPECT_TRUE(clsid == CLSID_FilterGraph);
    EXPECT_HR(E_POINTER, spPersist->GetClassID(nullptr));
}

TEST(GraphAggregate, InnerInterfacesCountOnTheOuterObject) {
    LONG cLiveBefore = LiveGraphs();
    fw::ComPtr<IUnknown> spGraph = CreateAggregate();
    ASSERT_TRUE(spGraph);
    EXPECT_EQ(cLiveBefore + 1, LiveGraphs());
    EXPECT_EQ(1u, test::RefCount(spGraph));
    IMediaControl* pControl = nullptr;
    ASSERT_HR(S_OK, spGraph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&pControl)));
    EXPECT_EQ(2u, test::RefCount(spGraph));
    EXPECT_EQ(2u, test::RefCount(pControl));
    // The outer reference goes first: the inner interface alone keeps the aggregate alive.
    IUnknown* pRaw = spGraph.Detach();
    EXPECT_EQ(1u, pRaw->Release());
    EXPECT_EQ(cLiveBefore + 1, LiveGraphs());
    OAFilterState eState = State_Running;
    EXPECT_HR(S_OK, pControl->GetState(0, &eState));
    EXPECT_EQ(State_Stopped, eState);
    EXPECT_EQ(0u, pControl->Release());
    EXPECT_EQ(cLiveBefore, LiveGraphs());
}

TEST(GraphAggregate, RefusesToBeAggregated) {
    fw::ComPtr<IUnknown> spOuter = CreateAggregate();
    ASSERT_TRUE(spOuter);
    LONG cLiveBefore = LiveGraphs();
    IUnknown* pInner = reinterpret_cast<IUnknown*>(0x1);
    EXPECT_HR(CLASS_E_NOAGGREGATION, ::CoCreateInstance(CLSID_FilterGraph, spOuter, CLSCTX_INPROC_SERVER,
                                                         IID_IUnknown, reinterpret_cast<void**>(&pInner)));
    EXPECT_EQ(nullptr, pInner);
    EXPECT_EQ(cLiveBefore, LiveGraphs());
}

// Filters join the graph through the aggregate: the graph they are told about is the outer
// object, and running and stopping work as in Wine's own graph manager.
TEST(GraphAggregate, FiltersJoinTheOuterObject) {
    LONG cLiveBefore = LiveGraphs();
    {
        fw::ComPtr<IFilterGraph> spGraph = CreateGraph();
        ASSERT_TRUE(spGraph);
        fw::ComPtr<IBaseFilter> spRenderer;
        ASSERT_HR(S_OK, spRenderer.CoCreateInstance(CLSID_NullRendererFilter));
        ASSERT_HR(S_OK, spGraph->AddFilter(spRenderer, L"Null"));
        FILTER_INFO rgInfo = {};
        ASSERT_HR(S_OK, spRenderer->QueryFilterInfo(&rgInfo));
        ASSERT_NE(nullptr, rgInfo.pGraph);
        fw::ComPtr<IUnknown> spJoined, spOuter;
        rgInfo.pGraph->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&spJoined));
        rgInfo.pGraph->Release();
        spGraph->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&spOuter));
        EXPECT_EQ(spOuter.Get(), spJoined.Get());

        fw::ComQIPtr<IMediaControl> spControl(spGraph.Get());
        ASSERT_TRUE(spControl);
        EXPECT_HR(S_OK, spControl->Run());
        EXPECT_HR(S_OK, spControl->Stop());
    }
    EXPECT_EQ(cLiveBefore, LiveGraphs());
}

// The test switches, read from this process's environment at each creation. The class
// factory's own CreateInstance returns the configured code; Wine 8's CoCreateInstance does not
// pass a success code other than S_OK on (it creates the object for IUnknown and asks it for
// the interface itself), so a caller of CoCreateInstance sees S_OK with the object there.
TEST(GraphAggregate, CreationResultSwitchComesFromTheFactoryWithTheObject) {
    fw::ComPtr<IClassFactory> spFactory;
    ASSERT_HR(S_OK, ::CoGetClassObject(CLSID_FilterGraph, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                       reinterpret_cast<void**>(&spFactory)));
    const struct {
        const wchar_t* pszValue;
        HRESULT hrExpected;
        bool bObject;
    } rgCases[] = {
        {L"0x00040242", static_cast<HRESULT>(0x00040242), true},
        {L"1", S_FALSE, true},
        {L"0x80004005", E_FAIL, false},
        {L"bogus", E_INVALIDARG, false},
    };
    for (const auto& c : rgCases) {
        SCOPED_TRACE(test::Narrow(c.pszValue));
        test::ScopedGraphSwitch createHr(L"GRFPERSIST_CREATE_HR", c.pszValue);
        LONG cLiveBefore = LiveGraphs();
        IUnknown* pGraph = reinterpret_cast<IUnknown*>(0x1);
        EXPECT_HR(c.hrExpected, spFactory->CreateInstance(nullptr, IID_IGraphBuilder, reinterpret_cast<void**>(&pGraph)));
        EXPECT_EQ(c.bObject, pGraph != nullptr);
        if (pGraph) {
            EXPECT_EQ(0u, pGraph->Release());
        }
        EXPECT_EQ(cLiveBefore, LiveGraphs());
    }
    test::ScopedGraphSwitch createHr(L"GRFPERSIST_CREATE_HR", L"0x00040242");
    fw::ComPtr<IGraphBuilder> spGraph;
    EXPECT_HR(S_OK, spGraph.CoCreateInstance(CLSID_FilterGraph));  // Wine drops the code
    EXPECT_TRUE(spGraph);
}

// Withheld from every interface of the aggregate: the inner graph manager's interfaces ask the
// outer object too.
TEST(GraphAggregate, HideSwitchWithholdsTheNamedInterfaces) {
    auto Offers = [](IUnknown* pObject, REFIID riid) {
        IUnknown* pInterface = nullptr;
        HRESULT hr = pObject->QueryInterface(riid, reinterpret_cast<void**>(&pInterface));
        if (pInterface) pInterface->Release();
        EXPECT_TRUE(hr == S_OK || (hr == E_NOINTERFACE && !pInterface)) << test::Narrow(test::HrText(hr));
        return hr == S_OK;
    };
    const struct {
        const wchar_t* pszValue;
        bool bPersistStream;
        bool bMediaEventEx;
    } rgCases[] = {
        {L"IPersistStream", false, true},
        {L"IMediaEventEx", true, false},
        {L"IPersistStream,IMediaEventEx", false, false},
    };
    for (const auto& c : rgCases) {
        SCOPED_TRACE(test::Narrow(c.pszValue));
        test::ScopedGraphSwitch hide(L"GRFPERSIST_HIDE", c.pszValue);
        fw::ComQIPtr<IMediaControl> spControl(CreateAggregate());
        ASSERT_TRUE(spControl);
        {
            IUnknown* pAsked = spControl.Get();
            EXPECT_EQ(c.bPersistStream, Offers(pAsked, IID_IPersistStream));
            EXPECT_EQ(c.bMediaEventEx, Offers(pAsked, IID_IMediaEventEx));
            EXPECT_TRUE(Offers(pAsked, IID_IGraphBuilder));
        }
    }
    test::ScopedGraphSwitch hide(L"GRFPERSIST_HIDE", L"IMediaControl");  // not a switch: creation fails
    IUnknown* pGraph = nullptr;
    EXPECT_HR(E_INVALIDARG, ::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                               reinterpret_cast<void**>(&pGraph)));
    EXPECT_EQ(nullptr, pGraph);
}
