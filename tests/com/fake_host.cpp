#include "tests/com/fake_host.h"

#include <sstream>
#include <stdexcept>

#include "tests/com/fake/fake_cad.h"

namespace kw::test {
namespace {

using com::Variant;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}

IDispatch* NewInprocInstance() {
    IDispatch* application = nullptr;
    const HRESULT result = CoCreateInstance(fake::kFakeClassId, nullptr, CLSCTX_INPROC_SERVER,
                                            IID_IDispatch, reinterpret_cast<void**>(&application));
    if (FAILED(result)) {
        throw std::runtime_error(
            "the in-process fake is not registered (regsvr32 kw_fake_cad.dll)");
    }
    return application;
}

} // namespace

com::RetryPolicy QuickRetry(std::chrono::milliseconds limit) {
    return com::RetryPolicy{limit, std::chrono::milliseconds(1), std::chrono::milliseconds(20)};
}

FakeHost::FakeHost() : m_backend(std::make_unique<ComBackend>(QuickRetry())) {
    IDispatch* application = NewInprocInstance();
    m_control = com::Dispatch(application, std::make_shared<com::RetryPolicy>(QuickRetry()));
    application->Release();
}

FakeHost::FakeHost(IDispatch* application)
    : m_backend(std::make_unique<ComBackend>(QuickRetry())),
      m_control(application, std::make_shared<com::RetryPolicy>(QuickRetry())) {}

void FakeHost::AddDrawing(const std::string& path) {
    m_control.Call("FakeAddDrawing", {Variant::FromString(path)});
}

void FakeHost::AddPolyline(const std::string& path, const std::string& layer,
                           const std::vector<double>& coordinates) {
    com::SafeArray array(VT_R8, coordinates.size());
    for (std::size_t i = 0; i < coordinates.size(); ++i) {
        double value = coordinates[i];
        array.Put(static_cast<LONG>(i), &value);
    }
    std::vector<Variant> arguments;
    arguments.push_back(Variant::FromString(path));
    arguments.push_back(Variant::FromString(layer));
    arguments.push_back(Variant::FromArray(VT_R8, std::move(array)));
    m_control.Call("FakeAddPolyline", std::move(arguments));
}

void FakeHost::AddEntity(const std::string& path, std::int32_t type, const std::string& layer,
                         const std::string& name, Point minPoint, Point maxPoint) {
    std::vector<Variant> arguments;
    arguments.push_back(Variant::FromString(path));
    arguments.push_back(Variant::FromInt32(type));
    arguments.push_back(Variant::FromString(layer));
    arguments.push_back(Variant::FromString(name));
    arguments.push_back(Variant::FromDouble(minPoint.x));
    arguments.push_back(Variant::FromDouble(minPoint.y));
    arguments.push_back(Variant::FromDouble(maxPoint.x));
    arguments.push_back(Variant::FromDouble(maxPoint.y));
    m_control.Call("FakeAddEntity", std::move(arguments));
}

void FakeHost::Open(const std::string& path) {
    m_control.Call("FakeOpen", {Variant::FromString(path)});
}

void FakeHost::SetActiveSpace(std::int32_t space) {
    m_control.Call("FakeSetActiveSpace", {Variant::FromInt32(space)});
}

void FakeHost::SetBusy(std::int32_t calls, HRESULT code) {
    std::vector<Variant> arguments;
    arguments.push_back(Variant::FromInt32(calls));
    arguments.push_back(Variant::FromInt32(static_cast<std::int32_t>(code)));
    m_control.Call("FakeSetBusy", std::move(arguments));
}

std::int32_t FakeHost::BusyLeft() {
    return com::ToInt32(m_control.Call("FakeBusyLeft").Raw());
}

void FakeHost::Lack(const std::string& member, bool atInvoke) {
    std::vector<Variant> arguments;
    arguments.push_back(Variant::FromString(member));
    arguments.push_back(Variant::FromBool(atInvoke));
    m_control.Call("FakeLack", std::move(arguments));
}

void FakeHost::Fail(const std::string& member, HRESULT code, const std::string& description,
                    std::int32_t skip) {
    std::vector<Variant> arguments;
    arguments.push_back(Variant::FromString(member));
    arguments.push_back(Variant::FromInt32(static_cast<std::int32_t>(code)));
    arguments.push_back(Variant::FromString(description));
    arguments.push_back(Variant::FromInt32(skip));
    m_control.Call("FakeFail", std::move(arguments));
}

std::vector<std::string> FakeHost::Log() {
    return Lines(com::ToString(m_control.Call("FakeLog").Raw()));
}

std::vector<std::string> FakeHost::Log(const std::string& prefix) {
    std::vector<std::string> selected;
    for (auto& line : Log()) {
        if (line.rfind(prefix, 0) == 0) {
            selected.push_back(std::move(line));
        }
    }
    return selected;
}

void FakeHost::ClearLog() {
    m_control.Call("FakeClearLog");
}

std::vector<std::string> FakeHost::OpenDocuments() {
    return Lines(com::ToString(m_control.Call("FakeOpenDocuments").Raw()));
}

std::int32_t FakeHost::SelectionSetCount() {
    return com::ToInt32(m_control.Call("FakeSelectionSetCount").Raw());
}

std::int32_t FakeHost::ProcessId() {
    return com::ToInt32(m_control.Call("FakeProcessId").Raw());
}

} // namespace kw::test
