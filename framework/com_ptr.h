#pragma once
// fw::ComPtr<I>: the one owner of a COM interface pointer. It holds one
// reference and releases it when reset or destroyed; copying adds a
// reference, moving hands it over. Like the pointer it holds, it is used on
// the thread (apartment) the pointer belongs to.
//
//   fw::ComPtr<IClassFactory> factory;
//   HRESULT hr = CoGetClassObject(clsid, CLSCTX_INPROC_SERVER, nullptr,
//                                 IID_IClassFactory, factory.put_void());
//   if (FAILED(hr)) return hr;
//   fw::ComPtr<IOleObject> object;
//   hr = factory->CreateInstance(nullptr, IID_IOleObject, object.put_void());
#include <objbase.h>

#include <utility>

namespace fw {

template <typename I>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes a new reference to `p`.
    explicit ComPtr(I* p) : m_p(p) {
        if (m_p) m_p->AddRef();
    }
    ComPtr(const ComPtr& other) : ComPtr(other.m_p) {}
    ComPtr(ComPtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    ~ComPtr() { reset(); }
    ComPtr& operator=(const ComPtr& other) {
        if (this != &other) ComPtr(other).swap(*this);
        return *this;
    }
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) ComPtr(std::move(other)).swap(*this);
        return *this;
    }

    I* get() const { return m_p; }
    I* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }

    // Out-parameters: the reference held so far is released first.
    I** put() {
        reset();
        return &m_p;
    }
    void** put_void() { return reinterpret_cast<void**>(put()); }

    // Adopts a reference the caller already owns.
    void attach(I* p) {
        reset();
        m_p = p;
    }
    // Hands the reference to the caller.
    [[nodiscard]] I* detach() { return std::exchange(m_p, nullptr); }
    void reset() {
        if (I* p = std::exchange(m_p, nullptr)) p->Release();
    }
    void swap(ComPtr& other) noexcept { std::swap(m_p, other.m_p); }

    // QueryInterface into another owner.
    template <typename J>
    HRESULT As(REFIID iid, ComPtr<J>& out) const {
        if (!m_p) return E_POINTER;
        return m_p->QueryInterface(iid, out.put_void());
    }

private:
    I* m_p = nullptr;
};

} // namespace fw
