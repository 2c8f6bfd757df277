#pragma once

#include <functional>
#include <memory>
#include <string>

#include "cad/automation.h"

namespace kw {

// Chooses the CAD backend (the host CAD by COM, the built-in CAD, a test substitute). Only the
// program's wiring picks one; everything above cad/ just connects.
using CadBackendFactory = std::function<std::shared_ptr<CadBackend>()>;

// The connection to the CAD application, one per process, refreshed by every command.
class CadSession {
public:
    // showMessage: a plain message box (OK only, no icon, the program's title as caption).
    using MessageFn = std::function<void(const std::string& text)>;

    CadSession(CadBackendFactory factory, MessageFn showMessage);

    // Attach to a running CAD application, else start one, else show why in one message box.
    // Nothing reaches the caller: after a failure the session keeps what it held.
    void Connect();

    // The connected application; Error 91 when none was ever connected.
    std::shared_ptr<CadApplication> Application() const;
    // The command-line utility of the drawing active at the last Connect; Error 91 when none.
    std::shared_ptr<CadUtility> Utility() const;
    bool HasApplication() const { return m_application != nullptr; }

private:
    CadBackendFactory m_factory;
    MessageFn m_showMessage;
    std::shared_ptr<CadBackend> m_backend;
    std::shared_ptr<CadApplication> m_application;
    std::shared_ptr<CadUtility> m_utility;
};

} // namespace kw
