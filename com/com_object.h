#pragma once

// The IUnknown part of a COM object of our own (message filter, test servers): one interface,
// reference counted, deleted with its last reference.

#include <windows.h>

namespace kw::com {

template <typename Interface, const IID& kInterfaceId> class ComObject : public Interface {
public:
    virtual ~ComObject() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, kInterfaceId)) {
            *object = static_cast<Interface*>(this);
            this->AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&m_references); }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = InterlockedDecrement(&m_references);
        if (left == 0) {
            delete this;
        }
        return left;
    }

private:
    LONG m_references = 1;
};

} // namespace kw::com
