#include "cad/messages.h"

#include "cad/cad_error.h"

namespace kw {

std::string MessageForError(std::int32_t number) {
    switch (number) {
    case cad_errors::kMemberNotFound:
        return kOldReleaseMessage;
    case cad_errors::kCannotSave:
        return kCannotSaveMessage;
    case cad_errors::kStyleTableMismatch:
        return kConvertStylesMessage;
    default:
        return kUnknownErrorPrefix + std::to_string(number);
    }
}

} // namespace kw
