/* The buffer-object header compiles alone as C, with the record layout its
 * device layers rely on. */
#include <ve_cipr/ve_cipr_buffer.h>

#include <stddef.h>

#if UINTPTR_MAX == UINT64_MAX
_Static_assert(offsetof(ve_cipr_buffer, device_id) == 40, "device id at 40");
_Static_assert(offsetof(ve_cipr_buffer, regions) == 80, "regions at 80");
_Static_assert(offsetof(ve_cipr_memory, anchor) == 32, "anchor at 32");
#endif

int vorn_test_buffer_header_is_c(void);

int vorn_test_buffer_header_is_c(void)
{
    return (int)sizeof(ve_cipr_buffer);
}
