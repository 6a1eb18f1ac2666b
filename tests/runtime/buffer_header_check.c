/* Compiled into the runtime tests as C: the buffer-object header stands
 * alone in C, with the record layout device layers rely on. */
#include <ve_cipr/ve_cipr_buffer.h>

#include <stddef.h>

typedef ve_cipr_memory_migration buffer_header_check_migration;

#if UINTPTR_MAX == UINT64_MAX
_Static_assert(sizeof(ve_cipr_memory) == 40, "memory descriptor is 40 bytes");
_Static_assert(sizeof(ve_cipr_buffer) == 88, "buffer record is 88 bytes");
_Static_assert(offsetof(ve_cipr_buffer, region_offset) == 72, "region offset at 72");
_Static_assert(sizeof(ve_cipr_memory_migration) == 24, "migration descriptor is 24 bytes");
_Static_assert(offsetof(ve_cipr_buffer, device_id) == 40, "device id at 40");
_Static_assert(offsetof(ve_cipr_buffer, regions) == 80, "regions at 80");
_Static_assert(offsetof(ve_cipr_memory, anchor) == 32, "anchor at 32");
#endif
