// Status codes of libvorn, shared with the C runtime.
#ifndef VORN_STATUS_H
#define VORN_STATUS_H

#include <ve_cipr/ve_status.h>

namespace Vorn {
using status_t = ::status_t;
}  // namespace Vorn

#endif
