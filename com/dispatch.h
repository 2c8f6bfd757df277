#pragma once

// Late-bound calls on an automation object: members are looked up by name (the server ignores
// letter case), arguments are passed in their natural order, failures become CadError, and calls
// that a busy host rejects are retried.

#include <windows.h>

#include <oaidl.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "com/com_value.h"

namespace kw::com {

// How long a call that the host rejected because it is busy is tried again. A rejected call never
// ran on the host, so repeating it is safe.
struct RetryPolicy {
    std::chrono::milliseconds limit{60000};
    std::chrono::milliseconds firstDelay{50};
    std::chrono::milliseconds maxDelay{1000};
};

bool IsBusyRejection(HRESULT result);

class Dispatch {
public:
    Dispatch() = default;
    // Takes a reference of its own on `object`.
    Dispatch(IDispatch* object, std::shared_ptr<const RetryPolicy> retry);
    ~Dispatch();
    Dispatch(const Dispatch& other);
    Dispatch& operator=(const Dispatch& other);
    Dispatch(Dispatch&& other) noexcept;
    Dispatch& operator=(Dispatch&& other) noexcept;

    Variant Get(const std::string& member);
    void Put(const std::string& member, Variant value);
    Variant Call(const std::string& member, std::vector<Variant> arguments = {});

    // A property or a method result that is itself an automation object (Error 91 for Nothing).
    Dispatch Object(const std::string& member);
    Dispatch CallObject(const std::string& member, std::vector<Variant> arguments = {});
    Dispatch ObjectFrom(const Variant& value) const;

    IDispatch* Raw() const { return m_object; }
    const std::shared_ptr<const RetryPolicy>& Retry() const { return m_retry; }

private:
    DISPID IdOf(const std::string& member);
    Variant Invoke(const std::string& member, WORD flags, std::vector<Variant>& arguments);
    // Runs `attempt` until it returns something other than a busy rejection or the limit passes.
    template <typename Attempt> HRESULT Retrying(Attempt attempt);

    IDispatch* m_object = nullptr;
    std::shared_ptr<const RetryPolicy> m_retry;
    std::map<std::string, DISPID> m_ids;
};

} // namespace kw::com
