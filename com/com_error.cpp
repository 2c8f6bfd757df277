#include "com/com_error.h"

#include <cstdio>

#include "com/com_value.h"

namespace kw::com {
namespace {

constexpr std::uint32_t kFacilityControlMask = 0xFFFF0000u;
constexpr std::uint32_t kFacilityControl = 0x800A0000u; // classic run-time errors

std::string DescriptionOf(HRESULT result) {
    std::string text = SystemMessage(result);
    if (text.empty()) {
        char code[16];
        std::snprintf(code, sizeof code, "%08lX", static_cast<unsigned long>(result));
        text = std::string("自动化错误 0x") + code;
    }
    return text;
}

} // namespace

std::int32_t ErrorNumber(HRESULT result) {
    if (result == DISP_E_UNKNOWNNAME || result == DISP_E_MEMBERNOTFOUND) {
        return errors::kMemberNotFound;
    }
    const auto bits = static_cast<std::uint32_t>(result);
    if ((bits & kFacilityControlMask) == kFacilityControl) {
        return static_cast<std::int32_t>(bits & 0xFFFFu);
    }
    return static_cast<std::int32_t>(result);
}

CadError MakeCadError(HRESULT result, EXCEPINFO* exception) {
    if (result != DISP_E_EXCEPTION || exception == nullptr) {
        return CadError(ErrorNumber(result), DescriptionOf(result));
    }
    if (exception->pfnDeferredFillIn != nullptr) {
        auto fillIn = exception->pfnDeferredFillIn;
        exception->pfnDeferredFillIn = nullptr;
        fillIn(exception);
    }
    std::int32_t number = 0;
    HRESULT described = result;
    if (exception->scode != 0) {
        number = ErrorNumber(exception->scode);
        described = exception->scode;
    } else if (exception->wCode != 0) {
        number = exception->wCode;
    } else {
        number = ErrorNumber(result);
    }
    std::string description;
    if (exception->bstrDescription != nullptr) {
        description = Narrow(exception->bstrDescription,
                             static_cast<int>(SysStringLen(exception->bstrDescription)));
    }
    SysFreeString(exception->bstrDescription);
    SysFreeString(exception->bstrSource);
    SysFreeString(exception->bstrHelpFile);
    exception->bstrDescription = exception->bstrSource = exception->bstrHelpFile = nullptr;
    if (description.empty()) {
        description = DescriptionOf(described);
    }
    return CadError(number, description);
}

std::string SystemMessage(HRESULT result) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(result), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text;
    if (length != 0 && buffer != nullptr) {
        text = Narrow(buffer, static_cast<int>(length));
        while (!text.empty() &&
               (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
            text.pop_back();
        }
    }
    LocalFree(buffer);
    return text;
}

} // namespace kw::com
