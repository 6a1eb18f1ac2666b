/* Counted allocation, bounded copy and format, and file wrappers over the C
 * library. */
#define _GNU_SOURCE
#include <ve_cipr/ve_cipr.h>

#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <ve_cipr/ve_log_common.h>

#define ALLOC_TAG "CIPR_ALLOC[XOS]"
#define STRING_TAG "CIPR_STRING[XOS]"
#define ANDROID_TAG "VE_CIPR_ANDROID[XOS]"

uint32_t g_alloc_counter = 0;
uint32_t g_free_counter = 0;
uint32_t g_alloc_error = 0xFFFFFFFFu;

static const char *name_or_empty(const char *name)
{
    return name != NULL ? name : "";
}

bool ve_cipr_check_alloc_error(void)
{
    return __atomic_load_n(&g_alloc_error, __ATOMIC_RELAXED) == __atomic_load_n(&g_alloc_counter, __ATOMIC_RELAXED);
}

void ve_cipr_inc_alloc_counter(void)
{
    __atomic_fetch_add(&g_alloc_counter, 1u, __ATOMIC_RELAXED);
}

void ve_cipr_inc_free_counter(void)
{
    __atomic_fetch_add(&g_free_counter, 1u, __ATOMIC_RELAXED);
}

void *ve_cipr_malloc(size_t size, const char *caller, const char *file, int line)
{
    (void)file;
    (void)line;
    if (ve_cipr_check_alloc_error())
        return NULL;
    void *ptr = malloc(size);
    ve_log_common_debug(VE_LOG_ALLOC, ALLOC_TAG, "E:%s size %lu from %s res ptr: %p", __func__, (unsigned long)size,
                        name_or_empty(caller), ptr);
    if (ptr != NULL)
        ve_cipr_inc_alloc_counter();
    return ptr;
}

void *ve_cipr_calloc(size_t count, size_t size, const char *caller, const char *file, int line)
{
    (void)file;
    (void)line;
    if (ve_cipr_check_alloc_error())
        return NULL;
    void *ptr = NULL;
    if (size == 0 || count <= SIZE_MAX / size)
        ptr = calloc(count, size);
    ve_log_common_debug(VE_LOG_ALLOC, ALLOC_TAG, "E:%s nmemb %lu size %lu from %s res ptr: %p", __func__,
                        (unsigned long)count, (unsigned long)size, name_or_empty(caller), ptr);
    if (ptr != NULL)
        ve_cipr_inc_alloc_counter();
    return ptr;
}

void *ve_cipr_alloc_aligned(size_t size, size_t alignment, const char *caller, const char *file, int line)
{
    (void)file;
    (void)line;
    if (ve_cipr_check_alloc_error())
        return NULL;
    void *ptr = NULL;
    /* posix_memalign accepts only powers of two that are multiples of a pointer. */
    int valid = alignment != 0 && (alignment & (alignment - 1)) == 0 && alignment % sizeof(void *) == 0;
    if (!valid || posix_memalign(&ptr, alignment, size) != 0)
        ptr = NULL;
    ve_log_common_debug(VE_LOG_ALLOC, ALLOC_TAG, "E:%s size %ld with alignment %lu from %s res ptr: %p", __func__,
                        (long)size, (unsigned long)alignment, name_or_empty(caller), ptr);
    if (ptr != NULL)
        ve_cipr_inc_alloc_counter();
    return ptr;
}

void ve_cipr_free(void *ptr, const char *caller)
{
    ve_log_common_debug(VE_LOG_ALLOC, ALLOC_TAG, "E:%s ptr %p from %s", __func__, ptr, name_or_empty(caller));
    if (ptr != NULL)
        ve_cipr_inc_free_counter();
    free(ptr);
}

void ve_cipr_memcopy(void *dest, size_t dest_size, const void *src, size_t src_size)
{
    if (dest_size < src_size)
        ve_log_common_debug(VE_LOG_WARNING, ALLOC_TAG,
                            "%s: destination size is smaller than source size, potential coding error", __func__);
    size_t count = dest_size < src_size ? dest_size : src_size;
    if (count == 0 || dest == NULL || src == NULL)
        return;
    memmove(dest, src, count);
}

int ve_cipr_snprintf_s(char *dest, size_t dest_size, size_t max, const char *fmt, ...)
{
    if (dest_size < max)
        ve_log_common_debug(VE_LOG_WARNING, STRING_TAG,
                            "%s: destination size is smaller than source size, potential coding error", __func__);
    size_t limit = dest_size < max ? dest_size : max;
    if (dest == NULL)
        limit = 0;
    if (fmt == NULL) {
        if (limit > 0)
            dest[0] = '\0';
        return -1;
    }
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(limit > 0 ? dest : NULL, limit, fmt, ap);
    va_end(ap);
    return n;
}

void *ve_cipr_create(void)
{
    ve_log_common_debug(VE_LOG_ENTRY, ANDROID_TAG, "E:%s", __func__);
    return ve_cipr_calloc(1, 8, __func__, __FILE__, __LINE__);
}

void ve_cipr_destroy(void *cipr)
{
    ve_log_common_debug(VE_LOG_ENTRY, ANDROID_TAG, "E:%s", __func__);
    if (cipr != NULL)
        ve_cipr_free(cipr, __func__);
}

size_t ve_cipr_pagesize(void)
{
    long size = sysconf(_SC_PAGESIZE);
    return size > 0 ? (size_t)size : 4096u;
}

size_t ve_cipr_strnlen(const char *s, size_t maxlen)
{
    return s != NULL ? strnlen(s, maxlen) : 0;
}

FILE *ve_cipr_fopen(const char *path, const char *mode)
{
    if (path == NULL || mode == NULL)
        return NULL;
    return fopen(path, mode);
}

int ve_cipr_fclose(FILE *stream)
{
    return stream != NULL ? fclose(stream) : EOF;
}

size_t ve_cipr_fread(void *ptr, size_t size, size_t count, FILE *stream)
{
    return (ptr != NULL && stream != NULL) ? fread(ptr, size, count, stream) : 0;
}

size_t ve_cipr_fwrite(const void *ptr, size_t size, size_t count, FILE *stream)
{
    return (ptr != NULL && stream != NULL) ? fwrite(ptr, size, count, stream) : 0;
}

int ve_cipr_fseek(FILE *stream, long offset, int whence)
{
    return stream != NULL ? fseek(stream, offset, whence) : -1;
}

long ve_cipr_ftell(FILE *stream)
{
    return stream != NULL ? ftell(stream) : -1L;
}

int ve_cipr_ferror(FILE *stream)
{
    return stream != NULL ? ferror(stream) : 1;
}

void ve_cipr_clearerr(FILE *stream)
{
    if (stream != NULL)
        clearerr(stream);
}
