#include "com/message_filter.h"

#include "com/com_object.h"

namespace kw::com {
namespace {

constexpr DWORD kRetryAfterMs = 250;
constexpr DWORD kCancelCall = static_cast<DWORD>(-1);

class BusyMessageFilter final : public ComObject<IMessageFilter, IID_IMessageFilter> {
public:
    explicit BusyMessageFilter(std::chrono::milliseconds limit)
        : m_limitMs(static_cast<DWORD>(limit.count())) {}

    // Calls into this program are not ours to refuse.
    DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) override {
        return SERVERCALL_ISHANDLED;
    }

    // dwTickCount: milliseconds since the call was first rejected.
    DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK, DWORD dwTickCount,
                                              DWORD dwRejectType) override {
        if ((dwRejectType == SERVERCALL_RETRYLATER || dwRejectType == SERVERCALL_REJECTED) &&
            dwTickCount < m_limitMs) {
            return kRetryAfterMs;
        }
        return kCancelCall;
    }

    DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD, DWORD) override {
        return PENDINGMSG_WAITDEFPROCESS;
    }

private:
    DWORD m_limitMs;
};

} // namespace

Apartment::Apartment() {
    const HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    // S_FALSE: already initialised the same way, which still wants its CoUninitialize.
    // RPC_E_CHANGED_MODE: a multi-threaded apartment is already there; calls work in it too.
    m_joined = SUCCEEDED(result);
}

Apartment::~Apartment() {
    if (m_joined) {
        CoUninitialize();
    }
}

IMessageFilter* NewBusyMessageFilter(std::chrono::milliseconds limit) {
    return new BusyMessageFilter(limit);
}

MessageFilterRegistration::MessageFilterRegistration(std::chrono::milliseconds limit) {
    IMessageFilter* filter = NewBusyMessageFilter(limit);
    // Fails outside a single-threaded apartment; the retry loop around each call still works.
    m_registered = SUCCEEDED(CoRegisterMessageFilter(filter, &m_previous));
    filter->Release();
}

MessageFilterRegistration::~MessageFilterRegistration() {
    if (m_registered) {
        IMessageFilter* ours = nullptr;
        CoRegisterMessageFilter(m_previous, &ours);
        if (ours != nullptr) {
            ours->Release();
        }
    }
    if (m_previous != nullptr) {
        m_previous->Release();
    }
}

} // namespace kw::com
