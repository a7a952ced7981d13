#pragma once
// Small COM helpers shared by the stand-in control's objects.
#include <windows.h>
#include <oleauto.h>

#include <string>
#include <utility>

namespace standin {

// Live objects of the stand-in control library; the stand-in's
// DllCanUnloadNow answers S_FALSE while this is not zero.
extern LONG g_liveObjects;

// Counts one live object for as long as it exists. Derive from it first.
struct LiveObject {
    LiveObject() { InterlockedIncrement(&g_liveObjects); }
    LiveObject(const LiveObject&) = delete;
    LiveObject& operator=(const LiveObject&) = delete;
    ~LiveObject() { InterlockedDecrement(&g_liveObjects); }
};

// An owning interface pointer.
template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes a new reference on `p`.
    explicit ComPtr(T* p) : p_(p) { if (p_) p_->AddRef(); }
    ComPtr(const ComPtr& other) : p_(other.p_) { if (p_) p_->AddRef(); }
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ~ComPtr() { Reset(); }
    ComPtr& operator=(const ComPtr& other) {
        ComPtr copy(other);
        std::swap(p_, copy.p_);
        return *this;
    }
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            Reset();
            p_ = std::exchange(other.p_, nullptr);
        }
        return *this;
    }

    // Adopts a pointer that already carries a reference.
    static ComPtr Adopt(T* p) {
        ComPtr result;
        result.p_ = p;
        return result;
    }
    void Reset() {
        if (p_) std::exchange(p_, nullptr)->Release();
    }
    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For out-parameters: releases what is held and returns the slot.
    T** Put() {
        Reset();
        return &p_;
    }
    // Hands the reference to the caller.
    T* Detach() { return std::exchange(p_, nullptr); }
    // Copies with a new reference into an out-parameter.
    HRESULT CopyTo(T** out) const {
        if (!out) return E_POINTER;
        *out = p_;
        if (p_) p_->AddRef();
        return S_OK;
    }
    template <typename U>
    ComPtr<U> As(REFIID iid) const {
        ComPtr<U> result;
        if (p_) p_->QueryInterface(iid, reinterpret_cast<void**>(result.Put()));
        return result;
    }

private:
    T* p_ = nullptr;
};

// A BSTR copy of `text` (null on failure) stored through `out`.
inline HRESULT ReturnBstr(const std::wstring& text, BSTR* out) {
    if (!out) return E_POINTER;
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

inline std::wstring FromBstr(BSTR text) {
    return text ? std::wstring(text, SysStringLen(text)) : std::wstring();
}

// The text of a variant (following one VT_BYREF level); empty when it has none.
inline std::wstring VariantText(const VARIANT* value) {
    if (!value) return {};
    if (V_VT(value) == (VT_BYREF | VT_VARIANT)) return VariantText(V_VARIANTREF(value));
    if (V_VT(value) == VT_BSTR) return FromBstr(V_BSTR(value));
    if (V_VT(value) == (VT_BYREF | VT_BSTR) && V_BSTRREF(value)) return FromBstr(*V_BSTRREF(value));
    VARIANT copy;
    VariantInit(&copy);
    std::wstring text;
    if (V_VT(value) != VT_EMPTY && V_VT(value) != VT_NULL && V_VT(value) != VT_ERROR &&
        SUCCEEDED(VariantChangeType(&copy, const_cast<VARIANT*>(value), 0, VT_BSTR)))
        text = FromBstr(V_BSTR(&copy));
    VariantClear(&copy);
    return text;
}

// A 32-bit integer from a variant (following VT_BYREF); `fallback` when it has none.
inline long VariantLong(const VARIANT* value, long fallback) {
    if (!value) return fallback;
    if (V_VT(value) == (VT_BYREF | VT_VARIANT)) return VariantLong(V_VARIANTREF(value), fallback);
    VARIANT copy;
    VariantInit(&copy);
    long result = fallback;
    if (V_VT(value) != VT_EMPTY && V_VT(value) != VT_NULL && V_VT(value) != VT_ERROR &&
        SUCCEEDED(VariantChangeType(&copy, const_cast<VARIANT*>(value), 0, VT_I4)))
        result = V_I4(&copy);
    VariantClear(&copy);
    return result;
}

}  // namespace standin
