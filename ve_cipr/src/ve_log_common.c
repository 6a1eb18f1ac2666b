/* Logging entry points, system-log output and configuration from the environment. */
#define _GNU_SOURCE
#include <ve_cipr/ve_log_common.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <syslog.h>
#include <unistd.h>

#include <ve_cipr/ve_cipr.h>

#include "ve_build_id.h"

#define LOG_TAG "VE_LOG[XOS]"

uint32_t g_ve_log_common_level = VE_LOG_ERROR | VE_LOG_WARNING;
char g_ve_log_dump_path[VE_LOG_DUMP_PATH_SIZE] = ".";
uint32_t g_ve_trace_level = 0;
uint32_t g_ve_dump_enabled = 0;
uint32_t g_ve_burstisp_dump_enable = 0;

void ve_log_common_debug(uint32_t level, const char *tag, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    ve_log_common_vdebug(level, tag, fmt, ap);
    va_end(ap);
}

/* Copies src into dst doubling every '%', so that text never acts as a
 * conversion directive once it is part of a format. */
static void escape_percent(const char *src, char *dst, size_t dst_size)
{
    size_t out = 0;
    for (; *src != '\0'; ++src) {
        size_t need = (*src == '%') ? 2 : 1;
        if (out + need >= dst_size)
            break;
        dst[out++] = *src;
        if (*src == '%')
            dst[out++] = '%';
    }
    dst[out] = '\0';
}

/* A format cut at the buffer size may end inside a conversion directive;
 * drop such an unfinished directive. */
static void trim_unfinished_directive(char *fmt)
{
    static const char modifiers[] = "-+ #0123456789.*hlLqjzt'I$";
    size_t i = 0;
    while (fmt[i] != '\0') {
        if (fmt[i] != '%') {
            ++i;
            continue;
        }
        size_t start = i++;
        while (fmt[i] != '\0' && strchr(modifiers, fmt[i]) != NULL)
            ++i;
        if (fmt[i] == '\0') {
            fmt[start] = '\0';
            return;
        }
        ++i;
    }
}

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wsuggest-attribute=format"
#endif
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
void ve_dax_vdebug(uint32_t level, const char *tag, const char *fmt, va_list ap)
{
    char safe_tag[VE_LOG_LINE_MAX];
    char line[VE_LOG_LINE_MAX];

    escape_percent(tag != NULL ? tag : "", safe_tag, sizeof safe_tag);
    int n = snprintf(line, sizeof line, "[%ld]:%s:%s", (long)syscall(SYS_gettid), safe_tag, fmt != NULL ? fmt : "");
    if (n < 0)
        return;
    if ((size_t)n >= sizeof line)
        trim_unfinished_directive(line);

    int priority = LOG_DEBUG;
    if (level == VE_LOG_ERROR)
        priority = LOG_ERR;
    else if (level == VE_LOG_WARNING)
        priority = LOG_WARNING;
    vsyslog(priority, line, ap);
}
#pragma GCC diagnostic pop
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

void ve_dax_debug(uint32_t level, const char *tag, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    ve_dax_vdebug(level, tag, fmt, ap);
    va_end(ap);
}

uint32_t ve_log_get_config_int32(const char *name)
{
    if (name == NULL)
        return 0;
    const char *value = getenv(name);
    if (value == NULL)
        return 0;
    /* Decimal, 0x-hexadecimal or 0-octal; text that is no number reads as 0. */
    return (uint32_t)strtoul(value, NULL, 0);
}

void ve_log_set_debug_level(void)
{
    ve_log_common_debug(VE_LOG_INFO, LOG_TAG, "Debug level is 0x%x", g_ve_log_common_level);

    /* An empty value counts as unset: it would send dumps to the root directory. */
    const char *path = getenv(VE_ENV_DUMP_PATH);
    if (path != NULL && path[0] != '\0') {
        ve_log_common_debug(VE_LOG_INFO, LOG_TAG, "Debug dump path set to %s", path);
        memset(g_ve_log_dump_path, 0, sizeof g_ve_log_dump_path);
        /* At most 255 characters; the last byte stays the terminator. */
        strncpy(g_ve_log_dump_path, path, sizeof g_ve_log_dump_path - 1);
    }

    g_ve_trace_level = ve_log_get_config_int32(VE_ENV_TRACE);
    ve_log_common_debug(VE_LOG_INFO, LOG_TAG, "ve trace level is 0x%x", g_ve_trace_level);
}

void ve_log_common_init(void)
{
    g_ve_log_common_level |= ve_log_get_config_int32(VE_ENV_DEBUG);
    g_ve_dump_enabled = ve_log_get_config_int32(VE_ENV_STATS_DUMP);
    g_ve_burstisp_dump_enable = ve_log_get_config_int32(VE_ENV_BURSTISP_DUMP);
    ve_log_common_debug(VE_LOG_INFO, LOG_TAG, "Libvedax version: %s\n", ve_dax_get_version_string());
}

uint32_t ve_dax_debug_level(void)
{
    ve_log_set_debug_level();
    ve_log_common_init();
    return g_ve_log_common_level;
}

char *ve_dax_debug_dump_path(void)
{
    return g_ve_log_dump_path;
}

const char *ve_dax_get_version_string(void)
{
    return VE_BUILD_ID;
}

void start_logging(void)
{
    openlog("libvedax", LOG_PID | LOG_CONS | LOG_NDELAY, LOG_USER);
    ve_log_set_debug_level();
}

void end_logging(void)
{
    closelog();
}

#if UINTPTR_MAX == UINT64_MAX
_Static_assert(sizeof(ve_log_context) == 16, "log context is a 16-byte record");
#endif

void *ve_log_create_context(uint32_t id)
{
    ve_log_context *context = ve_cipr_calloc(1, sizeof *context, __func__, __FILE__, __LINE__);
    if (context == NULL)
        return NULL;
    const uint32_t pairs[4] = {(id / 1000000u) % 100u, (id / 10000u) % 100u, (id / 100u) % 100u, id % 100u};
    for (int i = 0; i < 4; ++i)
        context->text[i] = (char)('A' + pairs[i] % 26u);
    context->name = context->text;
    return context;
}

void ve_log_destroy_context(void *context)
{
    if (context != NULL)
        ve_cipr_free(context, __func__);
}
