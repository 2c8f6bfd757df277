#pragma once

// The host CAD application on Windows, driven through COM automation under the ProgID
// "AutoCAD.Application" (release 2000 or later).

#include <memory>

#include "cad/automation.h"
#include "cad/cad_session.h"
#include "com/dispatch.h"
#include "com/message_filter.h"

namespace kw {

inline constexpr const wchar_t* kHostProgId = L"AutoCAD.Application";

// Lives on the user-interface thread, as long as the session that uses it.
class ComBackend : public CadBackend {
public:
    explicit ComBackend(com::RetryPolicy retry = {});

    // The running instance, found in the running-object table by the ProgID's class.
    std::shared_ptr<CadApplication> Attach() override;
    // A new instance of the host's local server.
    std::shared_ptr<CadApplication> Start() override;

    // The typed view of an application object obtained some other way.
    std::shared_ptr<CadApplication> Wrap(IDispatch* application) const;

private:
    com::Apartment m_apartment;
    std::shared_ptr<const com::RetryPolicy> m_retry;
    com::MessageFilterRegistration m_filter;
};

// Whether the host CAD is installed: its ProgID is registered with COM.
bool HostRegistered();

// For CadSession: a fresh ComBackend on first use.
CadBackendFactory ComBackendFactory();

} // namespace kw
