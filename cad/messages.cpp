#include "cad/messages.h"

#include "cad/cad_error.h"

namespace kw {

std::string MessageForError(std::int32_t number) {
    switch (number) {
    case errors::kMemberNotFound:
        return kOldReleaseMessage;
    case errors::kCannotSave:
        return kCannotSaveMessage;
    case errors::kStyleTableMismatch:
        return kConvertStylesMessage;
    default:
        return kUnknownErrorPrefix + std::to_string(number);
    }
}

} // namespace kw
