// The new-version graph analysis as far as this build carries it: the object
// answers "no graph held" to every query.
#include <vorn/graph_util.h>

#include <ve_cipr/ve_log_common.h>

#include "log_tags.h"

namespace Vorn {

GraphUtil::~GraphUtil() = default;

status_t GraphUtil::init(KeyId sgKey, const IGraphConfig *graphSettings, GdfVersion version)
{
    reset();
    mSgKey = sgKey;
    mVersion = version;
    mPgKey = version == GDF_VERSION_OKT7 ? key_compute_block : key_program_group;
    ve_log_common_debug(VE_LOG_ERROR, kVornTag, "Graphs with kernel links (version %d) are not supported",
                        static_cast<int>(version));
    (void)graphSettings;
    return err_notimplemented;
}

void GraphUtil::reset()
{
    mGraphSettings = nullptr;
    mSourceResHistory = ve_isp_tol_resolution_info{};
    mVersion = GDF_VERSION_NONE;
    mPgKey = key_program_group;
}

status_t GraphUtil::getKorData(int32_t subgraphId, ve_isp_tol_program_group &group) const
{
    (void)subgraphId;
    group.kernel_count = 0;
    group.run_kernels = nullptr;
    return err_noentry;
}

status_t GraphUtil::getPgKorData(const IGraphConfig *programGroup, ve_isp_tol_program_group &group) const
{
    (void)programGroup;
    group.kernel_count = 0;
    group.run_kernels = nullptr;
    return err_noentry;
}

void GraphUtil::dumpKernels(int32_t subgraphId) const
{
    ve_log_common_debug(VE_LOG_ERROR, kVornTag, "subgraph id %d not FOUND", static_cast<int>(subgraphId));
}

}  // namespace Vorn
