/*
 * Counted allocation with a fault-injection hook, bounded copy and format,
 * and thin wrappers over the standard file functions.
 *
 * Allocation number g_alloc_error (counted by g_alloc_counter) and every one
 * after it fail: set g_alloc_error = g_alloc_counter + k to make the k-th next
 * allocation fail.
 */
#ifndef VE_CIPR_VE_CIPR_H
#define VE_CIPR_VE_CIPR_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include "ve_api.h"

VE_EXTERN_C_BEGIN

VE_API extern uint32_t g_alloc_counter; /* successful allocations through this layer */
VE_API extern uint32_t g_free_counter;  /* frees of non-null pointers */
VE_API extern uint32_t g_alloc_error;   /* allocation number that fails; 0xFFFFFFFF: never */

VE_API void *ve_cipr_malloc(size_t size, const char *caller, const char *file, int line);
VE_API void *ve_cipr_calloc(size_t count, size_t size, const char *caller, const char *file, int line);
VE_API void *ve_cipr_alloc_aligned(size_t size, size_t alignment, const char *caller, const char *file, int line);
VE_API void ve_cipr_free(void *ptr, const char *caller);
VE_API bool ve_cipr_check_alloc_error(void);
VE_API void ve_cipr_inc_alloc_counter(void);
VE_API void ve_cipr_inc_free_counter(void);

VE_API void ve_cipr_memcopy(void *dest, size_t dest_size, const void *src, size_t src_size);
VE_API int ve_cipr_snprintf_s(char *dest, size_t dest_size, size_t max, const char *fmt, ...) VE_PRINTF(4, 5);

VE_API void *ve_cipr_create(void);
VE_API void ve_cipr_destroy(void *cipr);
VE_API size_t ve_cipr_pagesize(void);
VE_API size_t ve_cipr_strnlen(const char *s, size_t maxlen);

VE_API FILE *ve_cipr_fopen(const char *path, const char *mode);
VE_API int ve_cipr_fclose(FILE *stream);
VE_API size_t ve_cipr_fread(void *ptr, size_t size, size_t count, FILE *stream);
VE_API size_t ve_cipr_fwrite(const void *ptr, size_t size, size_t count, FILE *stream);
VE_API int ve_cipr_fseek(FILE *stream, long offset, int whence);
VE_API long ve_cipr_ftell(FILE *stream);
VE_API int ve_cipr_ferror(FILE *stream);
VE_API void ve_cipr_clearerr(FILE *stream);

/* Convenience forms that record the calling function and source position. */
#define VE_CIPR_MALLOC(size) ve_cipr_malloc((size), __func__, __FILE__, __LINE__)
#define VE_CIPR_CALLOC(count, size) ve_cipr_calloc((count), (size), __func__, __FILE__, __LINE__)
#define VE_CIPR_FREE(ptr) ve_cipr_free((ptr), __func__)

VE_EXTERN_C_END

#endif
