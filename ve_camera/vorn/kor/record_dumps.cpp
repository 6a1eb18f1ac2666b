// Kernel records and resolution records as log lines.
#include <vorn/tol_kor_utils.h>

#include <cstdio>

#include <ve_cipr/ve_log_common.h>
#include <vorn/graph_camera_util.h>

#include "log_tags.h"

namespace Vorn {
namespace {

constexpr const char *kTag = kVornTag;
constexpr const char *kRecordSeparator = "-------------------------------------------------------";
constexpr size_t kResInfoTextSize = 256;

const char *enableName(int32_t enable)
{
    switch (enable) {
    case VE_ISP_TOL_KERNEL_BYPASS:
        return "BYPASS";
    case VE_ISP_TOL_KERNEL_ENABLED:
        return "ENABLED";
    case VE_ISP_TOL_KERNEL_DISABLED:
        return "DISABLED";
    default:
        return "NOT SUPPORTED";
    }
}

// The words of a record are printed as signed numbers.
int asSigned(uint32_t word) { return static_cast<int>(static_cast<int32_t>(word)); }

void dumpKernel(const ve_isp_tol_run_kernels &record)
{
    ve_log_common_debug(VE_LOG_ERROR, kTag, "kernel_uuid: %d [%s (%d)]", asSigned(record.kernel_uuid),
                        enableName(record.enable), record.enable);
    ve_log_common_debug(VE_LOG_ERROR, kTag, "stream_id %d", asSigned(record.stream_id));
    ve_log_common_debug(VE_LOG_ERROR, kTag, "metadata: (%d %d %d %d)", asSigned(record.metadata[0]),
                        asSigned(record.metadata[1]), asSigned(record.metadata[2]), asSigned(record.metadata[3]));
    if (record.resolution_info != nullptr)
        TolKorUtils::dumpResInfo(record);
    else
        ve_log_common_debug(VE_LOG_ERROR, kTag, "res info: NULL");
    if (record.resolution_history != nullptr)
        TolKorUtils::dumpResHistory(*record.resolution_history, "resolution_history");
    else
        ve_log_common_debug(VE_LOG_ERROR, kTag, "res history: NULL");
    ve_log_common_debug(VE_LOG_ERROR, kTag, "bpp_info in:%d out:%d", asSigned(record.bpp_info.input_bpp),
                        asSigned(record.bpp_info.output_bpp));
}

}  // namespace

const char *TolKorUtils::resInfoToStr(const ve_isp_tol_resolution_info &info)
{
    // One buffer per thread: dumps on two threads do not mix their texts.
    thread_local char text[kResInfoTextSize];
    std::snprintf(text, sizeof(text),
                  "(iw: %d ih: %d (l: %d, t: %d, r: %d, b: %d),ow: %d, oh: %d (l: %d, t: %d, r: %d, b: %d)",
                  info.input_width, info.input_height, info.input_crop.left, info.input_crop.top, info.input_crop.right,
                  info.input_crop.bottom, info.output_width, info.output_height, info.output_crop.left,
                  info.output_crop.top, info.output_crop.right, info.output_crop.bottom);
    return text;
}

void TolKorUtils::dumpResHistory(const ve_isp_tol_resolution_info &info, const std::string &label)
{
    ve_log_common_debug(VE_LOG_ERROR, kTag, "%s:%s", label.c_str(), resInfoToStr(info));
}

void TolKorUtils::dumpResInfo(const ve_isp_tol_run_kernels &record)
{
    if (record.resolution_info == nullptr)
        return;
    if (record.resolution_info_count == 0) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "res_info: %s", resInfoToStr(*record.resolution_info));
        return;
    }
    for (uint32_t i = 0; i < record.resolution_info_count; ++i) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "res_info[%d]: %s", static_cast<int>(i),
                            resInfoToStr(record.resolution_info[i]));
    }
}

void TolKorUtils::dumpKernels(const ve_isp_tol_run_kernels *records, uint32_t count)
{
    if (records == nullptr)
        return;
    for (uint32_t i = 0; i < count; ++i) {
        if (i > 0)
            ve_log_common_debug(VE_LOG_ERROR, kTag, "%s", kRecordSeparator);
        dumpKernel(records[i]);
    }
}

void TolKorUtils::dumpPortResHistoryMap(const PortResHistoryMap &histories)
{
    ve_log_common_debug(VE_LOG_VERBOSE, kTag, "%s", "dumpPortResHistoryMap");
    for (const auto &entry : histories)
        dumpResHistory(entry.second, GraphCameraUtil::print(entry.first));
}

}  // namespace Vorn
