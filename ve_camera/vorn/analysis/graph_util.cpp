// The analysis object: initialisation, the generic walk over nodes of any
// level, and the answers and dumps per subgraph.
#include <vorn/graph_util.h>

#include <new>
#include <utility>

#include <ve_cipr/ve_log_common.h>
#include <vorn/graph_camera_util.h>

#include "analysis/analysis_log.h"
#include "no_memory.h"

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

GraphUtil::~GraphUtil() { deleteKorStructs(); }

void GraphUtil::clearAnalysis()
{
    deleteKorStructs();
    // Subgraphs hold pointers to outer nodes; release them first.
    mSubGraphs.clear();
    mGraphNodes.clear();
    mConnections.clear();
    mConnectionEnds.clear();
    mConnectionsByNodes.clear();
    mConnectionsBySource.clear();
    mFirstConnectionBySink.clear();
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
try {
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
    return buildKorData();
} catch (const std::bad_alloc &) {
    // Nothing half-built stays: no records, no marks left set.
    clearAnalysis();
    return noMemory("GraphUtil::init");
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

}  // namespace Vorn
