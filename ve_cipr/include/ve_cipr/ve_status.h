/* Status codes returned throughout libvorn. Usable from C and C++. */
#ifndef VE_CIPR_VE_STATUS_H
#define VE_CIPR_VE_STATUS_H

#include <stdint.h>

typedef int32_t status_t;

enum ve_status_code {
    err_none = 0,              /* success */
    err_general = -2,          /* item not found by key, null item inserted, attribute not created */
    err_nomemory = -4,         /* allocation or copy failed */
    err_data = -8,             /* bad or missing input data */
    err_internal = -16,        /* internal inconsistency */
    err_argument = -32,        /* bad argument: null pointer, wrong kind of item, unresolved path */
    err_noentry = -64,         /* no value of that type, missing attribute on write */
    err_end = -256,            /* an iteration has reached its end */
    err_exists = -512,         /* an item with that key already exists */
    err_retry = -1024,         /* leave this element for now, it is processed again later */
    err_notimplemented = -2048 /* not provided here, or an option has nothing to apply */
};

#endif
