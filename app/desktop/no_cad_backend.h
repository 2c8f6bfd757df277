#pragma once

#include "cad/automation.h"

namespace kw::app {

// The backend where this build has no CAD application to drive: every connection fails with a
// message saying so, which Connect shows.
class NoCadBackend : public CadBackend {
public:
    std::shared_ptr<CadApplication> Attach() override;
    std::shared_ptr<CadApplication> Start() override;
};

} // namespace kw::app
