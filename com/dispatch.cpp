#include "com/dispatch.h"

#include <algorithm>
#include <utility>

#include "com/com_error.h"

namespace kw::com {

bool IsBusyRejection(HRESULT result) {
    return result == RPC_E_CALL_REJECTED || result == RPC_E_SERVERCALL_RETRYLATER;
}

Dispatch::Dispatch(IDispatch* object, std::shared_ptr<const RetryPolicy> retry)
    : m_object(object), m_retry(std::move(retry)) {
    if (m_object != nullptr) {
        m_object->AddRef();
    }
    if (!m_retry) {
        m_retry = std::make_shared<RetryPolicy>();
    }
}

Dispatch::~Dispatch() {
    if (m_object != nullptr) {
        m_object->Release();
    }
}

Dispatch::Dispatch(const Dispatch& other) : Dispatch(other.m_object, other.m_retry) {}

Dispatch& Dispatch::operator=(const Dispatch& other) {
    if (this != &other) {
        Dispatch copy(other);
        *this = std::move(copy);
    }
    return *this;
}

Dispatch::Dispatch(Dispatch&& other) noexcept
    : m_object(std::exchange(other.m_object, nullptr)), m_retry(std::move(other.m_retry)),
      m_ids(std::move(other.m_ids)) {}

Dispatch& Dispatch::operator=(Dispatch&& other) noexcept {
    if (this != &other) {
        if (m_object != nullptr) {
            m_object->Release();
        }
        m_object = std::exchange(other.m_object, nullptr);
        m_retry = std::move(other.m_retry);
        m_ids = std::move(other.m_ids);
    }
    return *this;
}

template <typename Attempt> HRESULT Dispatch::Retrying(Attempt attempt) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + m_retry->limit;
    auto delay = m_retry->firstDelay;
    for (;;) {
        const HRESULT result = attempt();
        if (!IsBusyRejection(result) || Clock::now() + delay > deadline) {
            return result;
        }
        Sleep(static_cast<DWORD>(delay.count()));
        delay = std::min(delay * 2, m_retry->maxDelay);
    }
}

DISPID Dispatch::IdOf(const std::string& member) {
    if (m_object == nullptr) {
        throw CadError(errors::kObjectNotSet, "对象变量或 With 块变量未设置");
    }
    if (auto found = m_ids.find(member); found != m_ids.end()) {
        return found->second;
    }
    std::wstring name = Widen(member);
    LPOLESTR names[] = {name.data()};
    DISPID id = DISPID_UNKNOWN;
    const HRESULT result = Retrying(
        [&] { return m_object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id); });
    if (FAILED(result)) {
        throw MakeCadError(result);
    }
    m_ids.emplace(member, id);
    return id;
}

Variant Dispatch::Invoke(const std::string& member, WORD flags, std::vector<Variant>& arguments) {
    const DISPID id = IdOf(member);
    // DISPPARAMS takes the arguments last first.
    std::vector<VARIANT> reversed;
    reversed.reserve(arguments.size());
    for (auto argument = arguments.rbegin(); argument != arguments.rend(); ++argument) {
        reversed.push_back(argument->Raw());
    }
    DISPID putId = DISPID_PROPERTYPUT;
    DISPPARAMS parameters{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    if (flags == DISPATCH_PROPERTYPUT) {
        parameters.rgdispidNamedArgs = &putId;
        parameters.cNamedArgs = 1;
    }
    Variant result;
    EXCEPINFO exception{};
    UINT argumentError = 0;
    const HRESULT outcome = Retrying([&] {
        exception = EXCEPINFO{};
        return m_object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &parameters,
                                flags == DISPATCH_PROPERTYPUT ? nullptr : result.Out(), &exception,
                                &argumentError);
    });
    if (FAILED(outcome)) {
        throw MakeCadError(outcome, &exception);
    }
    return result;
}

Variant Dispatch::Get(const std::string& member) {
    std::vector<Variant> none;
    return Invoke(member, DISPATCH_PROPERTYGET, none);
}

void Dispatch::Put(const std::string& member, Variant value) {
    std::vector<Variant> arguments;
    arguments.push_back(std::move(value));
    Invoke(member, DISPATCH_PROPERTYPUT, arguments);
}

Variant Dispatch::Call(const std::string& member, std::vector<Variant> arguments) {
    return Invoke(member, DISPATCH_METHOD | DISPATCH_PROPERTYGET, arguments);
}

Dispatch Dispatch::ObjectFrom(const Variant& value) const {
    const VARIANT& raw = value.Raw();
    IUnknown* unknown = nullptr;
    if (raw.vt == VT_DISPATCH || raw.vt == VT_UNKNOWN) {
        unknown = raw.punkVal;
    } else if (raw.vt == (VT_BYREF | VT_DISPATCH) || raw.vt == (VT_BYREF | VT_UNKNOWN)) {
        unknown = raw.ppunkVal ? *raw.ppunkVal : nullptr;
    } else if (raw.vt != VT_EMPTY && raw.vt != VT_NULL) {
        throw CadError(errors::kTypeMismatch, "类型不匹配");
    }
    if (unknown == nullptr) {
        throw CadError(errors::kObjectNotSet, "对象变量或 With 块变量未设置");
    }
    IDispatch* object = nullptr;
    if (FAILED(unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&object)))) {
        throw CadError(errors::kTypeMismatch, "类型不匹配");
    }
    Dispatch wrapped(object, m_retry);
    object->Release();
    return wrapped;
}

Dispatch Dispatch::Object(const std::string& member) {
    return ObjectFrom(Get(member));
}

Dispatch Dispatch::CallObject(const std::string& member, std::vector<Variant> arguments) {
    return ObjectFrom(Call(member, std::move(arguments)));
}

} // namespace kw::com
