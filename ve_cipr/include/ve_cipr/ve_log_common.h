/*
 * Logging, configuration and tracing of the camera stack.
 *
 * Every module logs through ve_log_common_debug(). The library's own
 * ve_log_common_vdebug() discards the line; a host process replaces it by
 * defining a function of that name, which then receives every line.
 */
#ifndef VE_CIPR_VE_LOG_COMMON_H
#define VE_CIPR_VE_LOG_COMMON_H

#include <stdarg.h>
#include <stdint.h>

#include "ve_api.h"

VE_EXTERN_C_BEGIN

/* Level bits of a log line. */
#define VE_LOG_INFO 0x01u
#define VE_LOG_VERBOSE 0x02u
#define VE_LOG_ALLOC 0x04u
#define VE_LOG_ENTRY 0x08u
#define VE_LOG_ERROR 0x10u
#define VE_LOG_WARNING 0x20u

/* Environment variables read by the configuration calls. */
#define VE_ENV_DEBUG "camera_dax_debug"
#define VE_ENV_DUMP_PATH "camera_dax_debug_dump_path"
#define VE_ENV_TRACE "camera_dax_trace"
#define VE_ENV_STATS_DUMP "stats_dump"
#define VE_ENV_BURSTISP_DUMP "Enable_BurstIsp_Dump"

#define VE_LOG_DUMP_PATH_SIZE 256
#define VE_LOG_LINE_MAX 1024
#define VE_TRACE_MARKER_PATH "/sys/kernel/debug/tracing/trace_marker"

/* Process-wide state, with its initial value at library load. */
VE_API extern uint32_t g_ve_log_common_level;                 /* 0x30: errors and warnings */
VE_API extern char g_ve_log_dump_path[VE_LOG_DUMP_PATH_SIZE]; /* "." */
VE_API extern uint32_t g_ve_trace_level;                      /* 0: trace calls off */
VE_API extern uint32_t g_ve_dump_enabled;                     /* "stats_dump" */
VE_API extern uint32_t g_ve_burstisp_dump_enable;             /* "Enable_BurstIsp_Dump" */
VE_API extern int32_t ve_trace_marker_fd;                     /* -1 until the marker opens */
VE_API extern uint64_t ve_trace_enabled_tags;                 /* bit 63; 1 once the marker opens */
VE_API extern uint8_t ve_trace_is_ready;                      /* trace set-up done */

/* The single log entry point and the replaceable sink. */
VE_API void ve_log_common_debug(uint32_t level, const char *tag, const char *fmt, ...) VE_PRINTF(3, 4);
VE_API void ve_log_common_vdebug(uint32_t level, const char *tag, const char *fmt, va_list ap) VE_PRINTF(3, 0);

/* System log: "[tid]:tag:text", no level mask applied. */
VE_API void ve_dax_debug(uint32_t level, const char *tag, const char *fmt, ...) VE_PRINTF(3, 4);
VE_API void ve_dax_vdebug(uint32_t level, const char *tag, const char *fmt, va_list ap) VE_PRINTF(3, 0);

/* Configuration from the environment. */
VE_API uint32_t ve_log_get_config_int32(const char *name);
VE_API void ve_log_set_debug_level(void);
VE_API void ve_log_common_init(void);
VE_API uint32_t ve_dax_debug_level(void);
VE_API char *ve_dax_debug_dump_path(void);
VE_API const char *ve_dax_get_version_string(void);
VE_API void start_logging(void);
VE_API void end_logging(void);

/* Named log contexts: 16 bytes, the first member points to the 4-letter name. */
typedef struct ve_log_context {
    const char *name;
    char text[8];
} ve_log_context;
VE_API void *ve_log_create_context(uint32_t id);
VE_API void ve_log_destroy_context(void *context);

/* Kernel trace marker. Silent when the marker file cannot be opened. */
VE_API void ve_trace_begin(uint64_t tags, const char *name);
VE_API void ve_dax_trace_begin(uint64_t tags, const char *name);
VE_API void ve_dax_trace_end(uint64_t tags);

VE_EXTERN_C_END

#endif
