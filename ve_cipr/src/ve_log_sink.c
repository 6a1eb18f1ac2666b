/*
 * The library's own log sink. It discards every line; a host process that
 * defines ve_log_common_vdebug() itself receives the lines instead. Kept in a
 * translation unit of its own so that no call to it is ever bound locally.
 */
#include <ve_cipr/ve_log_common.h>

VE_API void ve_log_common_vdebug(uint32_t level, const char *tag, const char *fmt, va_list ap)
{
    (void)level;
    (void)tag;
    (void)fmt;
    (void)ap;
}
