// Dumps of the inner graphs: every node, or the kernels alone, reached from
// a subgraph's input ports.
#include <vorn/graph_util.h>

#include <ve_cipr/ve_log_common.h>
#include <vorn/graph_camera_util.h>
#include <vorn/tol_kor_utils.h>

#include "analysis/analysis_log.h"
#include "no_memory.h"

namespace Vorn {
namespace {

const char *enableLabel(int32_t enable)
{
    switch (enable) {
    case VE_ISP_TOL_KERNEL_ENABLED:
        return "[ENABLED]";
    case VE_ISP_TOL_KERNEL_DISABLED:
        return "[DISABLED]";
    case VE_ISP_TOL_KERNEL_BYPASS:
        return "[BYPASSED]";
    default:
        return "INVALID!!";
    }
}

#define VORN_RES_FORMAT "(iw: %d ih: %d (l: %d, t: %d, r: %d, b: %d), ow: %d, oh: %d (l: %d, t: %d, r: %d, b: %d))"
#define VORN_RES_ARGS(r) \
    (r).input_width, (r).input_height, (r).input_crop.left, (r).input_crop.top, (r).input_crop.right, \
        (r).input_crop.bottom, (r).output_width, (r).output_height, (r).output_crop.left, (r).output_crop.top, \
        (r).output_crop.right, (r).output_crop.bottom

}  // namespace

status_t GraphUtil::dumpInnerNodeVisitor(BaseGraphNode *base, ImagingNodeType filter)
{
    const auto &node = static_cast<const ImagingNode &>(*base);
    if (filter != ImagingAny && filter != node.type)
        return err_none;
    logError("%s", kDumpRule);
    logError("[%d]%s ", static_cast<int>(node.type), node.name.c_str());
    if (node.type != ImagingKernel)
        return err_none;
    logError("kernel_uuid: %d %s", static_cast<int>(node.runKernel.kernel_uuid), enableLabel(node.runKernel.enable));
    if (node.korRunKernel == nullptr) {
        logError("INVALID output!! Error");
        return err_internal;
    }
    const ve_isp_tol_run_kernels &record = *node.korRunKernel;
    logError("stream_id %d", static_cast<int>(record.stream_id));
    logError("metadata: (%d %d %d %d)", static_cast<int>(record.metadata[0]), static_cast<int>(record.metadata[1]),
             static_cast<int>(record.metadata[2]), static_cast<int>(record.metadata[3]));
    if (record.resolution_info != nullptr)
        logError("res_info: " VORN_RES_FORMAT, VORN_RES_ARGS(record.resolution_info[0]));
    else
        logError("res info: NULL");
    if (record.resolution_history != nullptr)
        logError("res_history: " VORN_RES_FORMAT, VORN_RES_ARGS(*record.resolution_history));
    else
        logError("res history: NULL");
    logError("bpp_info in:%d out:%d", static_cast<int>(record.bpp_info.input_bpp),
             static_cast<int>(record.bpp_info.output_bpp));
    return err_none;
}

void GraphUtil::dumpFromInputPorts(const SubGraphInfo &subgraph, ImagingNodeType filter, bool framed)
{
    const Visitor visitor = [filter](BaseGraphNode *node) { return dumpInnerNodeVisitor(node, filter); };
    for (const IGraphConfig *port : subgraph.inputPorts) {
        ImagingNode *terminal = inputTerminal(subgraph, port);
        if (framed) {
            logError("Subgraph %s %p", GraphCameraUtil::print(port).c_str(), static_cast<const void *>(port));
            if (terminal == nullptr) {
                logError("Failed to find input port %s in the Imaging graph- Error",
                         GraphCameraUtil::print(port).c_str());
                continue;
            }
            logError("-->START <-- %s", terminal->name.c_str());
        } else if (terminal == nullptr) {
            continue;
        }
        const status_t status = traverseGraph(terminal, visitor, true);
        if (framed) {
            logError("--> END <-- %d", static_cast<int>(status));
        } else if (status != err_none && status != err_end) {
            logError("Inner graph traversal failed %d", static_cast<int>(status));
            resetInnerGraph(subgraph, false);
            return;
        }
    }
    resetInnerGraph(subgraph, true);
}

void GraphUtil::dumpKernels(int32_t subgraphId)
try {
    const auto found = mSubGraphs.find(subgraphId);
    if (found == mSubGraphs.end()) {
        logError("subgraph id %d not FOUND", static_cast<int>(subgraphId));
        return;
    }
    const SubGraphInfo &subgraph = *found->second;
    // Without records (no kernels, or a failed init) there is nothing to dump.
    const uint64_t count = subgraph.runKernels != nullptr ? subgraph.kernelCount : 0;
    logError("%s", kDumpSeparator);
    logError("FOUND  subgraph id %d [%s] dumping %lu kernels:", static_cast<int>(subgraphId),
             ItemUID::key2str(subgraph.sgKey), static_cast<unsigned long>(count));
    logError("%s", kDumpSeparator);
    if (count != 0)
        dumpFromInputPorts(subgraph, ImagingKernel, false);
} catch (const std::bad_alloc &) {
    noMemory("dumpKernels");
}

void GraphUtil::dumpKorStructs() const
{
    logError("%s", kDumpSeparator);
    logError("Dumping run-kernels for %lu subgraphs of type %s ", static_cast<unsigned long>(mSubGraphs.size()),
             ItemUID::key2str(mSgKey));
    logError("%s", kDumpRule);
    for (const auto &entry : mSubGraphs) {
        const SubGraphInfo &subgraph = *entry.second;
        // A null array (no kernels, or released) dumps nothing.
        TolKorUtils::dumpKernels(subgraph.runKernels, static_cast<uint32_t>(subgraph.kernelCount));
    }
    logError("%s", kDumpSeparator);
}

void GraphUtil::dumpInnerGraph(int32_t subgraphId)
try {
    const auto found = mSubGraphs.find(subgraphId);
    if (found == mSubGraphs.end()) {
        logError("Invalid Subgraph id %d", static_cast<int>(subgraphId));
        return;
    }
    const SubGraphInfo &subgraph = *found->second;
    logError("%s", kDumpSeparator);
    logError("Dumping Imaging graph inside subgraph %d of type %s ", static_cast<int>(subgraphId),
             ItemUID::key2str(subgraph.sgKey));
    logError("%s", kDumpSeparator);
    dumpFromInputPorts(subgraph, ImagingAny, true);
} catch (const std::bad_alloc &) {
    noMemory("dumpInnerGraph");
}

}  // namespace Vorn
