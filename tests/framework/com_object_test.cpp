// fw::ComObject and fw::DispatchObject: reference counts that end in one
// deletion, QueryInterface over the listed interfaces, dispatch by name,
// and exceptions stopped at the COM boundary.
#include "framework/com_object.h"

#include <gtest/gtest.h>

#include <ocidl.h>

#include <array>
#include <stdexcept>

namespace {

int g_deleted = 0;

class Sample final : public fw::DispatchObject<Sample, IDispatch, IOleWindow> {
public:
    bool throwNext = false;
    bool throwBadAlloc = false;
    DISPID lastId = DISPID_UNKNOWN;

    STDMETHODIMP GetWindow(HWND* window) override {
        return fw::ComGuard("GetWindow", [&]() -> HRESULT {
            if (!window) throw std::invalid_argument("no out-parameter");
            *window = nullptr;
            return S_OK;
        });
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

protected:
    std::span<const fw::DispatchName> DispatchNames() const override { return kNames; }
    HRESULT OnInvoke(DISPID id, WORD, DISPPARAMS*, VARIANT*, UINT*) override {
        if (throwBadAlloc) throw std::bad_alloc();
        if (throwNext) throw std::runtime_error("a method failed");
        lastId = id;
        return id == 7 || id == 9 ? S_OK : DISP_E_MEMBERNOTFOUND;
    }
    HRESULT QueryOtherInterface(REFIID iid, void** out) override {
        if (!IsEqualIID(iid, IID_IOleInPlaceSite)) return E_NOINTERFACE;
        *out = nullptr;
        return E_NOTIMPL;  // a distinct answer, so the test sees it was asked
    }

private:
    ~Sample() override { ++g_deleted; }
    static constexpr std::array<fw::DispatchName, 2> kNames{{{L"Open", 7}, {L"Close", 9}}};
};

TEST(ComObject, TheLastReleaseDeletesTheObjectOnce) {
    g_deleted = 0;
    fw::ComPtr<Sample> sample = fw::MakeCom<Sample>();
    ASSERT_TRUE(sample);
    IUnknown* unknown = sample->Identity();
    EXPECT_EQ(unknown->AddRef(), 2u);
    EXPECT_EQ(unknown->Release(), 1u);
    EXPECT_EQ(g_deleted, 0);
    sample.reset();
    EXPECT_EQ(g_deleted, 1);
}

TEST(ComObject, QueryInterfaceAnswersTheListedInterfacesWithOneIdentity) {
    fw::ComPtr<Sample> sample = fw::MakeCom<Sample>();
    fw::ComPtr<IUnknown> a, b;
    ASSERT_EQ(sample->QueryInterface(IID_IUnknown, a.put_void()), S_OK);
    fw::ComPtr<IOleWindow> window;
    ASSERT_EQ(sample->QueryInterface(IID_IOleWindow, window.put_void()), S_OK);
    ASSERT_EQ(window->QueryInterface(IID_IUnknown, b.put_void()), S_OK);
    EXPECT_EQ(a.get(), b.get());
    fw::ComPtr<IDispatch> dispatch;
    EXPECT_EQ(window->QueryInterface(IID_IDispatch, dispatch.put_void()), S_OK);

    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(sample->QueryInterface(IID_IStream, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(sample->QueryInterface(IID_IOleInPlaceSite, &out), E_NOTIMPL) << "asked the object for others";
    EXPECT_EQ(sample->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

TEST(ComObject, NamesAreLookedUpWithoutCaseAndCallsReachTheObject) {
    fw::ComPtr<Sample> sample = fw::MakeCom<Sample>();
    wchar_t close[] = L"cLOSE";
    LPOLESTR names[] = {close};
    DISPID id = 12345;
    ASSERT_EQ(sample->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
    EXPECT_EQ(id, 9);
    wchar_t other[] = L"Other";
    names[0] = other;
    id = 12345;
    EXPECT_EQ(sample->GetIDsOfNames(IID_NULL, names, 1, 0, &id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(id, DISPID_UNKNOWN);

    DISPPARAMS none{};
    EXPECT_EQ(sample->Invoke(9, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(sample->lastId, 9);
    UINT count = 77;
    EXPECT_EQ(sample->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 0u);
}

TEST(ComObject, NoExceptionLeavesAComMethod) {
    fw::ComPtr<Sample> sample = fw::MakeCom<Sample>();
    DISPPARAMS none{};
    sample->throwNext = true;
    EXPECT_EQ(sample->Invoke(7, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr), E_UNEXPECTED);
    sample->throwNext = false;
    sample->throwBadAlloc = true;
    EXPECT_EQ(sample->Invoke(7, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr), E_OUTOFMEMORY);
    EXPECT_EQ(sample->GetWindow(nullptr), E_UNEXPECTED);
    HWND window = reinterpret_cast<HWND>(0x1);
    EXPECT_EQ(sample->GetWindow(&window), S_OK);
    EXPECT_EQ(window, nullptr);
}

class Outer final : public fw::DispatchObject<Outer, IDispatch> {
protected:
    HRESULT OnInvoke(DISPID, WORD, DISPPARAMS*, VARIANT*, UINT*) override { return DISP_E_MEMBERNOTFOUND; }
};

class WindowTearOff final : public fw::TearOff<IOleWindow> {
public:
    STDMETHODIMP GetWindow(HWND* window) override {
        if (window) *window = nullptr;
        return E_FAIL;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
};

TEST(ComObject, ATearOffCountsAndAnswersWithItsOutersIdentity) {
    fw::ComPtr<Outer> outer = fw::MakeCom<Outer>();
    WindowTearOff window;
    window.SetOuter(outer->Identity());
    EXPECT_EQ(window.AddRef(), 2u) << "the outer's count";
    EXPECT_EQ(outer->Identity()->Release(), 1u);
    fw::ComPtr<IUnknown> identity;
    ASSERT_EQ(window.QueryInterface(IID_IUnknown, identity.put_void()), S_OK);
    EXPECT_EQ(identity.get(), outer->Identity());
    identity.reset();
    fw::ComPtr<IOleWindow> self;
    ASSERT_EQ(window.QueryInterface(IID_IOleWindow, self.put_void()), S_OK);
    EXPECT_EQ(self.get(), static_cast<IOleWindow*>(&window));
    self.reset();

    window.SetOuter(nullptr);
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(window.QueryInterface(IID_IDispatch, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
}

}  // namespace
