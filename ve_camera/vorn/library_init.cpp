// Start-up order of libvorn.
//
// When the library is loaded its process-wide state comes up in this order,
// whatever the link order of the object files:
//   1. the built-in format table,
//   2. the key table,
//   3. the hardware-generation version strings,
//   4. logging (start_logging), which reads the dump path and trace level.
// At unload end_logging closes the system log before the tables go away, and
// the memory kept for the next tree goes back to the system.
//
// Objects holding that state are constructed with init_priority(101), so they
// exist before this sequence (priority 102) fills them; ordinary static
// objects of the library come after both.
#include <ve_cipr/ve_log_common.h>

#include "library_init.h"

namespace Vorn {
namespace detail {
namespace {

struct LibraryLifetime {
    LibraryLifetime()
    {
        initFormatTable();
        initKeyTable();
        initGenerationStrings();
        start_logging();
    }
    ~LibraryLifetime()
    {
        end_logging();
        releaseKeptBlocks();
    }
};

__attribute__((init_priority(102))) LibraryLifetime gLibraryLifetime;

}  // namespace
}  // namespace detail
}  // namespace Vorn
