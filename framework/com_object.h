#pragma once
// fw::ComObject: the one base of the program's own COM objects. It gives a
// class IUnknown (a thread-safe reference count, QueryInterface over the
// list of interfaces it derives from) and, through fw::DispatchObject, an
// IDispatch over a table of method names.
//
// Creation: fw::MakeCom<T>(args...) makes an object with one reference,
// owned by the fw::ComPtr it returns; the object deletes itself when the
// last reference goes. Objects are used on the thread (apartment) that made
// them, like the interfaces they hand out; only the count is thread-safe.
//
// Errors: every method returns an HRESULT. No exception leaves a COM
// method: the base's own methods do not throw, the methods a class writes
// run their bodies through fw::ComGuard, which turns std::bad_alloc into
// E_OUTOFMEMORY and any other exception into E_UNEXPECTED (logged with
// OutputDebugString). fw::DispatchObject's Invoke and GetIDsOfNames do this
// for the class.
//
//   class Sink final : public fw::DispatchObject<Sink, IDispatch> {
//   public:
//       std::span<const fw::DispatchName> DispatchNames() const override { return kNames; }
//       HRESULT OnInvoke(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
//                        UINT* argError) override;
//   };
//   fw::ComPtr<Sink> sink = fw::MakeCom<Sink>();
//
// Interfaces reached through a base interface of the list (IOleWindow of an
// IOleInPlaceSite, say) or owned by someone else are answered by
// overriding QueryOtherInterface, which must AddRef what it hands out.
#include "com_ptr.h"
#include "errors.h"

#include <oaidl.h>
#include <windows.h>

#include <exception>
#include <new>
#include <span>
#include <type_traits>
#include <utility>

namespace fw {

// Runs `body` (which returns an HRESULT) and stops every exception there.
template <typename Body>
HRESULT ComGuard(const char* where, Body&& body) noexcept {
    try {
        return std::forward<Body>(body)();
    } catch (const std::bad_alloc& error) {
        LogStoppedException(where, &error);
        return E_OUTOFMEMORY;
    } catch (const std::exception& error) {
        LogStoppedException(where, &error);
        return E_UNEXPECTED;
    } catch (...) {
        LogStoppedException(where, nullptr);
        return E_UNEXPECTED;
    }
}

// The interface identifier of I, from the SDK's declaration.
template <typename I>
const IID& IidOf() {
    return __uuidof(I);
}

template <typename Derived, typename First, typename... Rest>
class ComObject : public First, public Rest... {
public:
    ComObject() = default;
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (IsEqualIID(iid, IID_IUnknown)) {
            *out = static_cast<IUnknown*>(static_cast<First*>(this));
        } else if (!Find<First, Rest...>(iid, out)) {
            return QueryOtherInterface(iid, out);
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG left = InterlockedDecrement(&m_refs);
        if (left == 0) delete this;  // the destructor is virtual
        return static_cast<ULONG>(left);
    }

    // The IUnknown that stands for the object's identity.
    IUnknown* Identity() { return static_cast<IUnknown*>(static_cast<First*>(this)); }

protected:
    virtual ~ComObject() = default;
    // Interfaces not in the list; E_NOINTERFACE when there are none. What
    // is handed out must carry a reference for the caller.
    virtual HRESULT QueryOtherInterface(REFIID /*iid*/, void** /*out*/) { return E_NOINTERFACE; }

private:
    template <typename I, typename... More>
    bool Find(REFIID iid, void** out) {
        if (IsEqualIID(iid, IidOf<I>())) {
            *out = static_cast<I*>(this);
            return true;
        }
        if constexpr (sizeof...(More) > 0) return Find<More...>(iid, out);
        return false;
    }

    LONG m_refs = 1;
};

// Makes a COM object with one reference, held by the returned owner; null
// when memory runs out.
template <typename T, typename... Args>
ComPtr<T> MakeCom(Args&&... args) {
    ComPtr<T> owner;
    owner.attach(new (std::nothrow) T(std::forward<Args>(args)...));
    return owner;
}

// An interface that another object answers for with its own identity (a
// tear-off, such as a document host handler a control site hands out): its
// IUnknown calls go to `outer`, which the object does not count. Without an
// outer (before SetOuter, after the outer went) it answers only I itself
// and counts nothing.
template <typename I>
class TearOff : public I {
public:
    void SetOuter(IUnknown* outer) { m_outer = outer; }
    IUnknown* Outer() const { return m_outer; }

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(iid, IidOf<I>())) {
            *out = static_cast<I*>(this);
            AddRef();
            return S_OK;
        }
        if (!m_outer) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        return m_outer->QueryInterface(iid, out);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return m_outer ? m_outer->AddRef() : 1; }
    STDMETHODIMP_(ULONG) Release() override { return m_outer ? m_outer->Release() : 1; }

protected:
    TearOff() = default;
    ~TearOff() = default;

private:
    IUnknown* m_outer = nullptr;
};

// One name of a dispatch table; names compare without case.
struct DispatchName {
    const wchar_t* name;
    DISPID id;
};

// ComObject with IDispatch (which must be one of the interfaces listed):
// no type information, GetIDsOfNames from DispatchNames() (the first name
// only; named arguments are not supported), Invoke through OnInvoke.
template <typename Derived, typename First, typename... Rest>
class DispatchObject : public ComObject<Derived, First, Rest...> {
public:
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (!count) return E_INVALIDARG;
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info) *info = nullptr;
        return DISP_E_BADINDEX;
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        return ComGuard("GetIDsOfNames", [&]() -> HRESULT {
            if (!names || !ids || count == 0) return E_INVALIDARG;
            for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
            if (!names[0]) return DISP_E_UNKNOWNNAME;
            for (const DispatchName& entry : DispatchNames()) {
                if (_wcsicmp(names[0], entry.name) == 0) {
                    ids[0] = entry.id;
                    return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
                }
            }
            return DISP_E_UNKNOWNNAME;
        });
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO*, UINT* argError) override {
        return ComGuard("Invoke", [&] { return OnInvoke(id, flags, params, result, argError); });
    }

protected:
    // The names callers may look up, with their identifiers (asked on every
    // lookup, so the table may depend on the calling thread).
    virtual std::span<const DispatchName> DispatchNames() const { return {}; }
    // A call; DISP_E_MEMBERNOTFOUND for an unknown identifier.
    virtual HRESULT OnInvoke(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, UINT* argError) = 0;
};

} // namespace fw
