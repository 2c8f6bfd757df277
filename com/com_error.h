#pragma once

// How a failed automation call becomes a CadError: the signed 32-bit number a caller tests
// (438, 80210063, ...) and the description the host supplied.

#include <windows.h>

#include <oaidl.h>

#include <cstdint>
#include <string>

#include "cad/cad_error.h"

namespace kw::com {

// The number of a failure reported as a bare HRESULT: an unknown or missing member is 438, an
// 0x800Axxxx code carries a classic error number in its low 16 bits, anything else is itself.
std::int32_t ErrorNumber(HRESULT result);

// The failure of one call. With DISP_E_EXCEPTION the EXCEPINFO speaks (its deferred fill-in is
// run first, its strings are freed); the number is never 0.
CadError MakeCadError(HRESULT result, EXCEPINFO* exception = nullptr);

// The system's text for an HRESULT, without the trailing line break; empty when it has none.
std::string SystemMessage(HRESULT result);

} // namespace kw::com
