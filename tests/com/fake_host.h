#pragma once

// The fake host from the tests' side: an in-process instance (or the running local server)
// wrapped by the binding under test, and the "Fake" members that steer it.

#include <memory>
#include <string>
#include <vector>

#include "com/com_backend.h"

namespace kw::test {

// Quick retries, so that a test of a busy host does not wait a minute.
com::RetryPolicy QuickRetry(std::chrono::milliseconds limit = std::chrono::milliseconds(2000));

class FakeHost {
public:
    // A fresh in-process instance with an empty world.
    FakeHost();
    // An instance obtained elsewhere (the local server).
    explicit FakeHost(IDispatch* application);

    ComBackend& Backend() { return *m_backend; }
    std::shared_ptr<CadApplication> Application() { return m_backend->Wrap(m_control.Raw()); }
    com::Dispatch& Control() { return m_control; }

    void AddDrawing(const std::string& path);
    // A lightweight polyline through the given vertices (x0, y0, x1, y1, ...).
    void AddPolyline(const std::string& path, const std::string& layer,
                     const std::vector<double>& coordinates);
    // Any other entity, by the host's entity type, with its bounding box.
    void AddEntity(const std::string& path, std::int32_t type, const std::string& layer,
                   const std::string& name, Point minPoint, Point maxPoint);
    // Opens a drawing as the user would; it becomes the active document.
    void Open(const std::string& path);
    void SetActiveSpace(std::int32_t space);
    void SetBusy(std::int32_t calls, HRESULT code = RPC_E_CALL_REJECTED);
    std::int32_t BusyLeft();
    void Lack(const std::string& member, bool atInvoke = false);
    // "Kind.Member" raises `code` after `skip` successful calls.
    void Fail(const std::string& member, HRESULT code, const std::string& description,
              std::int32_t skip = 0);
    std::vector<std::string> Log();
    // The log lines that begin with `prefix`.
    std::vector<std::string> Log(const std::string& prefix);
    void ClearLog();
    std::vector<std::string> OpenDocuments();
    std::int32_t SelectionSetCount();
    std::int32_t ProcessId();

private:
    std::unique_ptr<ComBackend> m_backend;
    com::Dispatch m_control;
};

} // namespace kw::test
