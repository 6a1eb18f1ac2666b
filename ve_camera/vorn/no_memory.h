// Memory running out inside a public operation. The library throws nothing
// across its boundary: an entry point whose body may allocate through the
// standard containers runs it through one of these.
#ifndef VORN_NO_MEMORY_H
#define VORN_NO_MEMORY_H

#include <new>

#include <ve_cipr/ve_log_common.h>
#include <vorn/status.h>

#include "log_tags.h"

namespace Vorn {

// body(), or err_nomemory with an error line naming operation when memory
// runs out inside it.
template <typename Body>
status_t statusOrNoMemory(const char *operation, Body &&body) noexcept
{
    try {
        return body();
    } catch (const std::bad_alloc &) {
        ve_log_common_debug(VE_LOG_ERROR, kVornTag, "%s: No memory", operation);
        return err_nomemory;
    }
}

// body(), or failure with an error line naming operation when memory runs
// out inside it.
template <typename Value, typename Body>
Value valueOrNoMemory(const char *operation, Value failure, Body &&body) noexcept
{
    try {
        return body();
    } catch (const std::bad_alloc &) {
        ve_log_common_debug(VE_LOG_ERROR, kVornTag, "%s: No memory", operation);
        return failure;
    }
}

}  // namespace Vorn

#endif
