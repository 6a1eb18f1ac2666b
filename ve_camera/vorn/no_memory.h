// Memory running out inside a public operation. The library throws nothing
// across its boundary: an entry point whose body may allocate through the
// standard containers is a function-try-block that catches std::bad_alloc
// and returns one of these.
#ifndef VORN_NO_MEMORY_H
#define VORN_NO_MEMORY_H

#include <new>

#include <ve_cipr/ve_log_common.h>
#include <vorn/status.h>

#include "log_tags.h"

namespace Vorn {

// err_nomemory, with an error line naming operation.
inline status_t noMemory(const char *operation) noexcept
{
    ve_log_common_debug(VE_LOG_ERROR, kVornTag, "%s: No memory", operation);
    return err_nomemory;
}

// failure, with an error line naming operation.
template <typename Value>
Value noMemory(const char *operation, Value failure) noexcept
{
    ve_log_common_debug(VE_LOG_ERROR, kVornTag, "%s: No memory", operation);
    return failure;
}

}  // namespace Vorn

#endif
