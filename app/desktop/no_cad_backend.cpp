#include "app/desktop/no_cad_backend.h"

namespace kw::app {

namespace {

// "ActiveX component can't create object", what a missing CAD application has always reported.
constexpr std::int32_t kCannotCreateObject = 429;

[[noreturn]] void NoApplication() {
    throw CadError(kCannotCreateObject,
                   "没有可用的 CAD 应用程序（no CAD application available）：本程序未带内置 CAD，"
                   "也未找到可以连接的 CAD 应用程序。");
}

} // namespace

std::shared_ptr<CadApplication> NoCadBackend::Attach() {
    NoApplication();
}
std::shared_ptr<CadApplication> NoCadBackend::Start() {
    NoApplication();
}

} // namespace kw::app
