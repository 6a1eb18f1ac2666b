/* Binary dumps of buffers. */
#include <ve_cipr/ve_dump.h>

#include <stdio.h>

#include <ve_cipr/ve_cipr.h>
#include <ve_cipr/ve_log_common.h>
#include <ve_cipr/ve_status.h>

#define LOG_TAG "cipr_dump[XOS]"

int32_t ve_dump_to_file(const char *path, const void *data, size_t size)
{
    if (path == NULL || data == NULL || size == 0)
        return err_argument;

    FILE *file = ve_cipr_fopen(path, "wb");
    if (file == NULL) {
        ve_log_common_debug(VE_LOG_ERROR, LOG_TAG, "%s: failed to create file %s", __func__, path);
        return err_general;
    }
    size_t written = ve_cipr_fwrite(data, size, 1, file);
    int closed = ve_cipr_fclose(file);
    if (written != 1 || closed != 0) {
        ve_log_common_debug(VE_LOG_ERROR, LOG_TAG, "%s: error occurs during writing file %s", __func__, path);
        return err_general;
    }
    ve_log_common_debug(VE_LOG_INFO, LOG_TAG, "%s: successfully created dump file %s", __func__, path);
    return err_none;
}

static const char *dvs_terminal_name(uint32_t terminal)
{
    switch (terminal) {
    case 16:
        return "mv_l0";
    case 17:
        return "mv_l1";
    case 18:
        return "mv_l2";
    case 23:
        return "fe_l0";
    case 24:
        return "fe_l1";
    case 25:
        return "fe_l2";
    default:
        return NULL;
    }
}

int32_t ve_dump_dvs_terminal(uint32_t terminal, int32_t buffer_id, const void *data, size_t size)
{
    if (data == NULL || size == 0)
        return err_argument;

    const char *name = dvs_terminal_name(terminal);
    if (name == NULL) {
        ve_log_common_debug(VE_LOG_ERROR, LOG_TAG, "%s: Undefined dvs terminal %d", __func__, (int)terminal);
        return err_internal;
    }

    char file_name[VE_DUMP_FILE_NAME_SIZE];
    int n =
        snprintf(file_name, sizeof file_name, "%s/dvs_%s_bufid_%d.bin", ve_dax_debug_dump_path(), name, (int)buffer_id);
    if (n < 0 || (size_t)n >= sizeof file_name) {
        /* A shortened name would write to some other file: refuse instead. */
        ve_log_common_debug(VE_LOG_ERROR, LOG_TAG, "%s: dump file name longer than %u bytes for terminal %d", __func__,
                            (unsigned)(sizeof file_name - 1), (int)terminal);
        return err_argument;
    }
    return ve_dump_to_file(file_name, data, size);
}
