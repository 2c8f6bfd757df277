#include "tests/com/running_fake.h"

#include "tests/com/fake/fake_cad.h"

namespace kw::test {

IDispatch* RunningFake() {
    IUnknown* running = nullptr;
    if (FAILED(GetActiveObject(fake::kFakeClassId, nullptr, &running)) || running == nullptr) {
        return nullptr;
    }
    IDispatch* application = nullptr;
    running->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&application));
    running->Release();
    return application;
}

void QuitRunningFake() {
    for (int attempt = 0; attempt < 100; ++attempt) {
        IDispatch* application = RunningFake();
        if (application == nullptr) {
            return;
        }
        LPOLESTR name = const_cast<LPOLESTR>(L"FakeQuit");
        DISPID id = DISPID_UNKNOWN;
        if (SUCCEEDED(application->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id))) {
            DISPPARAMS none{};
            application->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, nullptr,
                                nullptr, nullptr);
        }
        application->Release();
        Sleep(50);
    }
}

} // namespace kw::test
