#include "base/error.h"

#include <new>

namespace kw {

Failure FailureOf(const std::exception_ptr& caught) {
    try {
        std::rethrow_exception(caught);
    } catch (const Error& failure) {
        return {failure.Number(), failure.Description()};
    } catch (const std::bad_alloc&) {
        return {errors::kOutOfMemory, "out of memory"};
    } catch (const std::exception& failure) {
        return {errors::kInternalError, failure.what()};
    } catch (...) {
        return {errors::kInternalError, "unknown failure"};
    }
}

} // namespace kw
