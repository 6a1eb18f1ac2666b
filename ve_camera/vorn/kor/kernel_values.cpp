// Values read from a kernel node of a program group.
#include <vorn/tol_kor_utils.h>

#include <vorn/graph_camera_util.h>

#include "model/tree.h"

namespace Vorn {

status_t TolKorUtils::kernelGetValues(const IGraphConfig *kernel, int32_t *palUuid, int32_t *id, uint32_t *metadata,
                                      int32_t *enable, int32_t *rcb, int32_t *branchPoint, int32_t *sinkPort,
                                      int32_t *restorePoint)
{
    if (kernel == nullptr)
        return err_argument;
    // The camera utilities read the same values; the restore point sits
    // between the branch point and the enable value.
    status_t status =
        GraphCameraUtil::kernelGetValues(kernel, nullptr, nullptr, metadata, nullptr, rcb, branchPoint, nullptr,
                                         sizeof(ve_isp_tol_run_kernels::metadata) / sizeof(uint32_t));
    if (status != err_none)
        return status;
    if (restorePoint != nullptr)
        *restorePoint = tree::intOr(kernel, key_restore_point, -1);
    return GraphCameraUtil::kernelGetValues(kernel, palUuid, id, nullptr, enable, nullptr, nullptr, sinkPort);
}

status_t TolKorUtils::kernelGetBppInfo(const IGraphConfig *kernel, ve_isp_tol_run_kernels &record)
{
    const GraphConfigNode *node = tree::nodeOf(kernel);
    if (const GraphConfigNode *input = tree::childNode(node, key_input))
        record.bpp_info.input_bpp = static_cast<uint32_t>(tree::intOr(input, key_bpp, 0));
    if (const GraphConfigNode *output = tree::childNode(node, key_output))
        record.bpp_info.output_bpp = static_cast<uint32_t>(tree::intOr(output, key_bpp, 0));
    return err_none;
}

}  // namespace Vorn
