#include "cad/cad_session.h"

namespace kw {

CadSession::CadSession(CadBackendFactory factory, MessageFn showMessage)
    : m_factory(std::move(factory)), m_showMessage(std::move(showMessage)) {}

void CadSession::Connect() {
    std::shared_ptr<CadApplication> application;
    try {
        if (!m_backend)
            m_backend = m_factory ? m_factory() : nullptr;
        if (!m_backend)
            throw Error(errors::kObjectNotSet, "No CAD application is available.");
        try {
            application = m_backend->Attach();
        } catch (const std::exception&) {
            // Not running: start one below.
        }
        if (!application)
            application = m_backend->Start();
        if (!application)
            throw Error(errors::kObjectNotSet, "The CAD application did not start.");
    } catch (const std::exception& failure) {
        if (m_showMessage)
            m_showMessage(failure.what());
        return;
    }

    m_application = application;
    try {
        m_application->PutVisible(true);
    } catch (const std::exception&) {
    }
    try {
        auto utility = m_application->ActiveDocument()->Utility();
        if (utility)
            m_utility = std::move(utility);
    } catch (const std::exception&) {
    }
}

std::shared_ptr<CadApplication> CadSession::Application() const {
    if (!m_application)
        throw Error(errors::kObjectNotSet, "Object variable not set");
    return m_application;
}

std::shared_ptr<CadUtility> CadSession::Utility() const {
    if (!m_utility)
        throw Error(errors::kObjectNotSet, "Object variable not set");
    return m_utility;
}

} // namespace kw
