// The fake host as a local server, like the real application: `kw_fake_cad_server /RegServer`
// registers it; COM starts it with -Embedding; started by hand it is simply running. Either way
// it enters itself in the running-object table, shows a main window titled with its caption, and
// serves one application object until it is told to quit, or until a time limit ends one that a
// failed test left behind.

#include <cwchar>

#include "tests/com/fake/fake_cad.h"

namespace {

constexpr UINT kLifetimeMs = 120000;
DWORD g_mainThread = 0;
HWND g_window = nullptr;

void Quit() {
    PostThreadMessageW(g_mainThread, WM_QUIT, 0, 0);
}

void ShowCaption(const wchar_t* caption) {
    if (g_window != nullptr) {
        SetWindowTextW(g_window, caption);
    }
}

// The host's main window: a plain window the program brings to the front by its title.
HWND MakeMainWindow(HINSTANCE instance) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = L"KestrelwickFakeCad";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"Fake CAD - []",
                                  WS_OVERLAPPEDWINDOW, 40, 40, 640, 480, nullptr, nullptr,
                                  instance, nullptr);
    if (window != nullptr) {
        ShowWindow(window, SW_SHOWNOACTIVATE);
    }
    return window;
}

bool HasSwitch(const wchar_t* commandLine, const wchar_t* name) {
    return commandLine != nullptr && std::wcsstr(commandLine, name) != nullptr;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
    if (HasSwitch(commandLine, L"RegServer") || HasSwitch(commandLine, L"regserver")) {
        wchar_t path[MAX_PATH];
        GetModuleFileNameW(nullptr, path, MAX_PATH);
        return SUCCEEDED(kw::fake::RegisterServer(path, false)) ? 0 : 1;
    }
    if (HasSwitch(commandLine, L"UnregServer") || HasSwitch(commandLine, L"unregserver")) {
        return SUCCEEDED(kw::fake::UnregisterServer(false)) ? 0 : 1;
    }

    g_mainThread = GetCurrentThreadId();
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        return 2;
    }
    kw::fake::SetQuitHandler(&Quit);
    g_window = MakeMainWindow(instance);
    kw::fake::SetCaptionHandler(&ShowCaption);
    IDispatch* application = kw::fake::NewApplication();
    IClassFactory* factory = kw::fake::NewClassFactory(application);
    DWORD classCookie = 0;
    DWORD activeCookie = 0;
    HRESULT result = CoRegisterClassObject(kw::fake::kFakeClassId, factory, CLSCTX_LOCAL_SERVER,
                                           REGCLS_MULTIPLEUSE, &classCookie);
    if (SUCCEEDED(result)) {
        result = RegisterActiveObject(application, kw::fake::kFakeClassId, ACTIVEOBJECT_STRONG,
                                      &activeCookie);
    }
    if (SUCCEEDED(result)) {
        const UINT_PTR lifetime = SetTimer(nullptr, 0, kLifetimeMs, nullptr);
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            if (message.message == WM_TIMER && message.wParam == lifetime) {
                break;
            }
            DispatchMessageW(&message);
        }
        KillTimer(nullptr, lifetime);
        RevokeActiveObject(activeCookie, nullptr);
        CoRevokeClassObject(classCookie);
    }
    kw::fake::SetCaptionHandler(nullptr);
    if (g_window != nullptr) {
        DestroyWindow(g_window);
    }
    factory->Release();
    application->Release();
    CoUninitialize();
    return SUCCEEDED(result) ? 0 : 3;
}
