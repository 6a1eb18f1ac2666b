/* Kernel trace-marker events. Set up once per process; when the marker file
 * cannot be opened every trace call stays silent. */
#define _GNU_SOURCE
#include <fcntl.h>
#include <pthread.h>
#include <stdio.h>
#include <unistd.h>

#include <ve_cipr/ve_log_common.h>

#define LOG_TAG "VE_LOG[XOS]"

int32_t ve_trace_marker_fd = -1;
uint64_t ve_trace_enabled_tags = UINT64_C(1) << 63;
uint8_t ve_trace_is_ready = 0;

static pthread_once_t trace_once = PTHREAD_ONCE_INIT;

static void trace_setup(void)
{
    int fd = open(VE_TRACE_MARKER_PATH, O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return; /* not retried */
    ve_trace_marker_fd = fd;
    ve_trace_enabled_tags = 1;
    ve_trace_is_ready = 1;
}

static void trace_ensure_setup(void)
{
    if (!ve_trace_is_ready)
        pthread_once(&trace_once, trace_setup);
}

static int trace_active(uint64_t tags)
{
    return ve_trace_marker_fd >= 0 && (tags & ve_trace_enabled_tags) != 0;
}

static void trace_write(const char *text, size_t length)
{
    ssize_t written = write(ve_trace_marker_fd, text, length);
    if (written < 0 || (size_t)written != length)
        ve_log_common_debug(VE_LOG_ERROR, LOG_TAG, "write error!");
}

void ve_trace_begin(uint64_t tags, const char *name)
{
    trace_ensure_setup();
    if (!trace_active(tags))
        return;
    char buffer[VE_LOG_LINE_MAX];
    int n = snprintf(buffer, sizeof buffer, "B|%d|%s", (int)getpid(), name != NULL ? name : "");
    if (n < 0) {
        ve_log_common_debug(VE_LOG_ERROR, LOG_TAG, "snprintf error!");
        return;
    }
    size_t length = (size_t)n < sizeof buffer ? (size_t)n : sizeof buffer - 1;
    trace_write(buffer, length);
}

void ve_dax_trace_begin(uint64_t tags, const char *name)
{
    if (g_ve_trace_level != 0)
        ve_trace_begin(tags, name);
}

void ve_dax_trace_end(uint64_t tags)
{
    if (g_ve_trace_level == 0)
        return;
    trace_ensure_setup();
    if (trace_active(tags))
        trace_write("E", 1);
}
