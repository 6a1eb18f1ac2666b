// The analysis object: initialisation, the generic walk over nodes of any
// level, and the answers and dumps per subgraph.
#include <vorn/graph_util.h>

#include <algorithm>
#include <utility>

#include <ve_cipr/ve_log_common.h>
#include <vorn/graph_camera_util.h>

#include "analysis/analysis_log.h"
#include "model/tree.h"

namespace Vorn {

bool GraphUtil::LinkOrder::operator()(const BaseGraphNode *a, const BaseGraphNode *b) const
{
    const int32_t idA = a->orderId(), idB = b->orderId();
    if (idA != idB)
        return idA < idB;
    const int order = a->key.compare(b->key);
    if (order != 0)
        return order < 0;
    // Keys are unique in their container; distinct nodes never merge.
    return std::less<const BaseGraphNode *>()(a, b);
}

GraphUtil::~GraphUtil() = default;

void GraphUtil::clearAnalysis()
{
    // Subgraphs hold pointers to outer nodes; release them first.
    mSubGraphs.clear();
    mGraphNodes.clear();
    mConnections.clear();
    mKernelPools.clear();
    mPgKernelPools.clear();
    mConnectionEnds.clear();
    mConnectionsByNodes.clear();
    mConnectionsBySource.clear();
}

void GraphUtil::reset()
{
    clearAnalysis();
    mGraphSettings = nullptr;
    mSgKey = key_stream_id;
    mSourceResHistory = ve_isp_tol_resolution_info{};
    mVersion = GDF_VERSION_NONE;
    mPgKey = key_program_group;
}

status_t GraphUtil::init(KeyId sgKey, const IGraphConfig *graphSettings, GdfVersion version)
{
    if ((sgKey != key_stream_id && sgKey != key_exec_ctx_id) || version < GDF_VERSION_OKT6 ||
        graphSettings == nullptr) {
        logError("invalid OKT version, subgraph type used or graph settings");
        return err_argument;
    }
    mVersion = version;
    mPgKey = version == GDF_VERSION_OKT7 ? key_compute_block : key_program_group;
    if (mGraphSettings != nullptr)
        clearAnalysis();
    // A graph without a subgraph fed by the sensor must not answer with the
    // history of the graph before it.
    mSourceResHistory = ve_isp_tol_resolution_info{};
    mSgKey = sgKey;
    mGraphSettings = graphSettings;

    const status_t status = analyzeGraphSettings();
    if (status != err_none) {
        logError("Graph settings analysis failed");
        return status;
    }
    return err_none;
}

namespace {

// One node being walked: the peers still to visit.
struct Frame {
    GraphUtil::BaseGraphNode *node;
    GraphUtil::LinkMap::const_iterator next;
    GraphUtil::LinkMap::const_iterator end;
};

Frame frameOf(GraphUtil::BaseGraphNode *node, bool forward)
{
    const GraphUtil::LinkMap &peers = forward ? node->outputs : node->inputs;
    return {node, peers.begin(), peers.end()};
}

void logInterrupted(const GraphUtil::BaseGraphNode &node, status_t status)
{
    logError("Graph traversal interrupted at node %s [%d]", node.name.c_str(), static_cast<int>(status));
}

// Calls the visitor on a node not yet visited and marks it. expand says
// whether its peers are to be walked.
status_t visitOnce(GraphUtil::BaseGraphNode &node, const GraphUtil::Visitor &visitor, bool &expand)
{
    expand = false;
    if (node.visited)
        return err_none;
    const status_t status = visitor(&node);
    if (status == err_retry)
        return err_end;
    node.visited = true;
    if (status == err_end)
        return err_end;
    if (status != err_none) {
        logInterrupted(node, status);
        return status;
    }
    expand = true;
    return err_none;
}

}  // namespace

status_t GraphUtil::traverseGraph(BaseGraphNode *node, const Visitor &visitor, bool forward)
{
    if (node == nullptr || !visitor)
        return err_internal;
    bool expand = false;
    status_t status = visitOnce(*node, visitor, expand);
    if (!expand)
        return status;

    // Depth-first on an explicit stack: the path from node to the one being
    // visited, each with the peers it has left.
    std::vector<Frame> path{frameOf(node, forward)};
    while (!path.empty()) {
        Frame &top = path.back();
        if (top.next == top.end) {
            path.pop_back();
            continue;
        }
        BaseGraphNode *peer = (top.next++)->first;
        status = visitOnce(*peer, visitor, expand);
        if (status != err_none && status != err_end) {
            // Each node on the path reports the failure of its branch.
            for (auto it = path.rbegin(); it != path.rend(); ++it)
                logInterrupted(*it->node, status);
            return status;
        }
        if (expand)
            path.push_back(frameOf(peer, forward));
    }
    return err_none;
}

status_t GraphUtil::getKorData(int32_t subgraphId, ve_isp_tol_program_group &group) const
{
    const auto found = mSubGraphs.find(subgraphId);
    if (found == mSubGraphs.end()) {
        logError("Invalid subgraph(%s) id %d", ItemUID::key2str(mSgKey), static_cast<int>(subgraphId));
        return err_data;
    }
    const SubGraphInfo &subgraph = *found->second;
    // Records not allocated (or released) are answered as none.
    group.kernel_count = subgraph.runKernels != nullptr ? static_cast<uint32_t>(subgraph.kernelCount) : 0;
    group.run_kernels = subgraph.runKernels;
    group.tuning_mode = subgraph.tuningMode;
    return err_none;
}

status_t GraphUtil::getPgKorData(const IGraphConfig *programGroup, ve_isp_tol_program_group &group)
{
    const std::string pgName = programGroup != nullptr ? programGroup->getName() : std::string("NULL");
    const SubGraphInfo *owner = nullptr;
    for (const auto &entry : mSubGraphs) {
        const auto &pgs = entry.second->pgs;
        if (std::find(pgs.begin(), pgs.end(), programGroup) != pgs.end()) {
            owner = entry.second.get();
            break;
        }
    }
    if (owner == nullptr) {
        logError("Could not find the PG %s in the Subgraphs map", pgName.c_str());
        return err_argument;
    }
    const auto pool = mPgKernelPools.find(programGroup);
    if (pool == mPgKernelPools.end() || pool->second.runKernels == nullptr) {
        logError("Could not find the PG %s in the PG memory pool map", pgName.c_str());
        return err_argument;
    }
    group.kernel_count = static_cast<uint32_t>(pool->second.count);
    group.run_kernels = pool->second.runKernels;
    int32_t tuningMode = 0;
    if (programGroup->getValue(key_tuning_mode, tuningMode) != err_none) {
        logWarning("Could not find the tuning mode for PG %s default to 0", pgName.c_str());
        tuningMode = 0;
    }
    group.tuning_mode = tuningMode;

    uint32_t index = 0;
    status_t status = err_none;
    tree::forEachChildOfType(*programGroup, key_kernel, [&](IGraphConfig *kernel) {
        int32_t palUuid = -1;
        if (kernel->getValue(key_pal_uuid, palUuid) != err_none) {
            logError("Could not find the pal uuid for kernel %s", kernel->getName().c_str());
            status = err_internal;
            return false;
        }
        std::string name;
        if (kernel->getValue(key_name, name) != err_none) {
            logError("getPgKorData - Failed to get kernel Name");
            status = err_internal;
            return false;
        }
        if (index >= group.kernel_count) {
            logError("over the max kernel number");
            return true;
        }
        const auto node = owner->imagingNodes.find(pgName + ":" + name);
        if (node == owner->imagingNodes.end() || node->second->type != ImagingKernel ||
            node->second->korRunKernel == nullptr) {
            status = err_internal;
            return false;
        }
        group.run_kernels[index++] = *node->second->korRunKernel;
        return true;
    });
    return status;
}

}  // namespace Vorn
