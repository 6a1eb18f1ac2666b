/* Binary dumps of buffers into the dump directory. */
#ifndef VE_CIPR_VE_DUMP_H
#define VE_CIPR_VE_DUMP_H

#include <stddef.h>
#include <stdint.h>

#include "ve_api.h"

VE_EXTERN_C_BEGIN

#define VE_DUMP_FILE_NAME_SIZE 128

/* Writes size bytes of data to path ("wb"). */
VE_API int32_t ve_dump_to_file(const char *path, const void *data, size_t size);

/* Writes a DVS terminal buffer to "<dump path>/dvs_<terminal name>_bufid_<id>.bin".
 * Terminals: 16 mv_l0, 17 mv_l1, 18 mv_l2, 23 fe_l0, 24 fe_l1, 25 fe_l2. */
VE_API int32_t ve_dump_dvs_terminal(uint32_t terminal, int32_t buffer_id, const void *data, size_t size);

VE_EXTERN_C_END

#endif
