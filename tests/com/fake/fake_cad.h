#pragma once

// A stand-in for the host CAD's automation object model, registered under the host's ProgID in a
// throw-away Wine prefix. It offers the members the program uses, checks argument types as
// strictly as the host does, raises the host's codes, and writes every call into a log that the
// tests read back. Members whose names begin with "Fake" steer it from the tests.

#include <windows.h>

#include <oaidl.h>

namespace kw::fake {

// {6F1D3C52-8B0E-4E7A-9C1B-5A2D8E4F7B31}
inline constexpr CLSID kFakeClassId = {
    0x6f1d3c52, 0x8b0e, 0x4e7a, {0x9c, 0x1b, 0x5a, 0x2d, 0x8e, 0x4f, 0x7b, 0x31}};
inline constexpr const wchar_t* kProgId = L"AutoCAD.Application";

// A new application object with an empty world; the caller owns the reference.
IDispatch* NewApplication();

// Called by FakeQuit; the local server ends its message loop, the in-process server ignores it.
void SetQuitHandler(void (*handler)());

// Called with the caption whenever the program reads it; the local server shows it as its main
// window's title, so that the program finds the host's window by its caption as it does on a
// user's desktop. The in-process server has no window.
void SetCaptionHandler(void (*handler)(const wchar_t* caption));

// Live objects of this module, for DllCanUnloadNow.
LONG LiveObjects();

// A class factory that hands out NewApplication(), or `single` when it is not null.
IClassFactory* NewClassFactory(IDispatch* single);

// Registry entries under HKEY_CLASSES_ROOT: the ProgID, and the class with its in-process server
// (`inproc` true) or its local server, at `modulePath`.
HRESULT RegisterServer(const wchar_t* modulePath, bool inproc);
HRESULT UnregisterServer(bool inproc);

} // namespace kw::fake
