// The fake host as an in-process server: `regsvr32 kw_fake_cad.dll`.

#include "tests/com/fake/fake_cad.h"

namespace {

HMODULE g_module = nullptr;

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID id, REFIID iid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    if (!IsEqualCLSID(id, kw::fake::kFakeClassId)) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    IClassFactory* factory = kw::fake::NewClassFactory(nullptr);
    const HRESULT result = factory->QueryInterface(iid, object);
    factory->Release();
    return result;
}

STDAPI DllCanUnloadNow() {
    return kw::fake::LiveObjects() == 0 ? S_OK : S_FALSE;
}

STDAPI DllRegisterServer() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(g_module, path, MAX_PATH);
    return kw::fake::RegisterServer(path, true);
}

STDAPI DllUnregisterServer() {
    return kw::fake::UnregisterServer(true);
}
