// Resolution histories of a new-version graph: the meta graph is walked from
// the subgraphs fed by no other one (the sensor side) downstream, a subgraph
// once all subgraphs feeding it are done; inside a subgraph the inner graph
// is walked from its input ports, each node taking the largest image its
// parents deliver and each resolution-changing kernel translating its crop
// back into source pixels.
#include <vorn/graph_util.h>

#include <ve_cipr/ve_log_common.h>
#include <vorn/graph_camera_util.h>
#include <vorn/tol_kor_utils.h>

#include "analysis/analysis_log.h"
#include "wrap32.h"

namespace Vorn {
namespace {

using ImagingNode = GraphUtil::ImagingNode;

ImagingNode &inner(GraphUtil::BaseGraphNode *node) { return static_cast<ImagingNode &>(*node); }

// width - first - second, as the 64-bit value it is.
int64_t span(int32_t width, int32_t first, int32_t second) { return static_cast<int64_t>(width) - first - second; }

}  // namespace

// --- the meta graph ---------------------------------------------------------------

status_t GraphUtil::populateKorData()
{
    const Visitor visitor = [this](BaseGraphNode *node) { return resHistoryCalcVisitor(node); };
    for (const auto &entry : mSubGraphs) {
        SubGraphInfo &subgraph = *entry.second;
        if (!subgraph.inputPorts.empty())
            continue;
        const status_t status = traverseGraph(&subgraph, visitor, true);
        if (status != err_none) {
            logError("Traversal of subgraphs failed on subgraph %d", static_cast<int>(subgraph.id));
            clearVisitedMarks(mSubGraphs);
            return status;
        }
    }
    // Subgraphs never reached (on a cycle, or fed by one that is) are
    // reported here; their records keep what the allocation set.
    resetMetaGraph();
    logVerbose("Resolution History calculation succeeded !!");
    return err_none;
}

bool GraphUtil::inputSubgraphsVisited(const SubGraphInfo &subgraph)
{
    for (const auto &input : subgraph.inputs) {
        if (!input.first->visited) {
            logVerbose("Subgraph %d not ready to be visited, waiting for subgraph %d", static_cast<int>(subgraph.id),
                       static_cast<int>(input.first->orderId()));
            return false;
        }
    }
    return true;
}

status_t GraphUtil::resHistoryCalcVisitor(BaseGraphNode *node)
{
    if (node == nullptr)
        return err_internal;
    auto &subgraph = static_cast<SubGraphInfo &>(*node);
    // A subgraph takes its images from all the subgraphs feeding it: it is
    // visited once the last of them is done.
    if (!inputSubgraphsVisited(subgraph))
        return err_retry;
    status_t status = disableKernelsToDisabledTerminals(subgraph);
    if (status != err_none) {
        logWarning("Disablement of kernels in subgraph %d failed[%d]", static_cast<int>(subgraph.id),
                   static_cast<int>(status));
        return status;
    }
    logVerbose("---- Starting Res-history graph traversal for subgraph %d ----", static_cast<int>(subgraph.streamId));
    if (subgraph.inputPorts.empty())
        return calculateSourceResHistory(subgraph, mSourceResHistory);

    status = walkFromMainInputPorts(subgraph);
    if (status == err_none)
        status = walkFromSecondaryInputPorts(subgraph);
    if (status != err_none) {
        resetInnerGraph(subgraph, false);
        return status;
    }
    logVerbose("---- Res-history graph traversal for subgraph %d done! ----", static_cast<int>(subgraph.streamId));
    resetInnerGraph(subgraph, true);
    return fillKorRunKernels(subgraph);
}

status_t GraphUtil::calculateSourceResHistory(SubGraphInfo &subgraph, ve_isp_tol_resolution_info &history)
{
    const GraphNode *source = nullptr;
    for (const GraphNode *node : subgraph.nodes) {
        if (node->type == key_source) {
            source = node;
            break;
        }
    }
    if (source == nullptr || source->configNode == nullptr) {
        logError("Could not find source node in subgraph %d", static_cast<int>(subgraph.id));
        return err_internal;
    }
    const status_t status = TolKorUtils::sourceGetResolutionHistory(history, *source->configNode);
    if (status != err_none) {
        logError("Failed to get source resolution history");
        return status;
    }
    // Each output terminal carries the source image at its port's size
    // (kernels of the subgraph are not walked, and are not ports).
    for (const auto &entry : subgraph.imagingNodes) {
        ImagingNode &node = *entry.second;
        if (node.type != ImagingOutputPort)
            continue;
        ve_isp_tol_resolution_info sized = history;
        if (node.configNode == nullptr ||
            GraphCameraUtil::getDimensions(node.configNode, &sized.output_width, &sized.output_height) != err_none) {
            logWarning("Failed to get dimensions for port %s using default resolution history", node.name.c_str());
            sized = history;
        }
        node.resHistory = sized;
    }
    return err_none;
}

// --- entering a subgraph ----------------------------------------------------------

GraphUtil::ImagingNode *GraphUtil::inputTerminal(const SubGraphInfo &subgraph, const IGraphConfig *port)
{
    // A port's inner node is its terminal, stored under its full name.
    const auto found = subgraph.imagingNodes.find(GraphCameraUtil::getFullName(*port));
    if (found == subgraph.imagingNodes.end() || found->second->configNode != port)
        return nullptr;
    return found->second.get();
}

status_t GraphUtil::walkInnerGraph(SubGraphInfo &subgraph, ImagingNode &start)
{
    const status_t status = traverseGraph(&start, resHistoryINodeVisitor, true);
    if (status != err_none && status != err_end) {
        logError("subgraph %d inner graph traversal stopped with error %d", static_cast<int>(subgraph.id),
                 static_cast<int>(status));
        return status;
    }
    return err_none;
}

status_t GraphUtil::walkFromMainInputPorts(SubGraphInfo &subgraph)
{
    logVerbose("-- Starting graph traversal from main input ports --");
    for (const IGraphConfig *port : subgraph.inputPorts) {
        ImagingNode *terminal = inputTerminal(subgraph, port);
        if (terminal == nullptr) {
            logError("Failed to find input port %s in the Imaging graph- Error", GraphCameraUtil::print(port).c_str());
            return err_internal;
        }
        if (getUpstreamResHistory(*terminal) != err_none) {
            logError("Failed to get res history for input port %s", terminal->name.c_str());
            return err_internal;
        }
        const status_t status = walkInnerGraph(subgraph, *terminal);
        if (status != err_none)
            return status;
    }
    return err_none;
}

status_t GraphUtil::walkFromSecondaryInputPorts(SubGraphInfo &subgraph)
{
    logVerbose("-- Starting graph traversal from secondary input ports -- ");
    std::vector<ImagingNode *> terminals;
    status_t status = getUnvisitedInputPortsPeers(subgraph, terminals);
    if (status != err_none) {
        logError("Failed to get unvisited input peers for subgraph %d", static_cast<int>(subgraph.id));
        return status;
    }
    for (ImagingNode *terminal : terminals) {
        if (getUpstreamResHistory(*terminal) != err_none) {
            logError("Failed to get res history for input port %s", terminal->name.c_str());
            return err_internal;
        }
    }
    for (ImagingNode *terminal : terminals) {
        status = walkInnerGraph(subgraph, *terminal);
        if (status != err_none)
            return status;
    }
    return err_none;
}

status_t GraphUtil::getUpstreamResHistory(ImagingNode &terminal)
{
    const auto connection = mFirstConnectionBySink.find(terminal.name);
    const std::string source =
        connection != mFirstConnectionBySink.end() ? mConnectionEnds[connection->second].source : std::string();
    const auto outer = mGraphNodes.find(nodePart(source));
    if (outer == mGraphNodes.end())
        return err_internal;
    const int32_t upstreamId = subgraphIdOf(*outer->second);
    const auto subgraph = mSubGraphs.find(upstreamId);
    ImagingNode *found = nullptr;
    if (subgraph != mSubGraphs.end()) {
        const auto node = subgraph->second->imagingNodes.find(source);
        if (node != subgraph->second->imagingNodes.end())
            found = node->second.get();
    }
    if (found == nullptr) {
        logError("Could not find inner node %s in subgraph %d- Error", source.c_str(), static_cast<int>(upstreamId));
        return err_internal;
    }
    ImagingNode &upstream = *found;
    if (!upstream.visited && (upstream.flags & kFlagLoopBack) != 0) {
        // A private port not reached yet: the image is what its port holds.
        ve_isp_tol_resolution_info &history = upstream.resHistory;
        int32_t width = history.output_width, height = history.output_height;
        if (upstream.configNode == nullptr ||
            GraphCameraUtil::getDimensions(upstream.configNode, &width, &height) != err_none) {
            logWarning("Failed to get dimensions for private port %s using default resolution history",
                       upstream.name.c_str());
        } else {
            history.output_width = width;
            history.output_height = height;
        }
        history.input_width = history.output_width;
        history.input_height = history.output_height;
    }
    terminal.portHistories[terminal.name] = upstream.resHistory;
    return err_none;
}

status_t GraphUtil::getUnvisitedInputPortsPeers(const SubGraphInfo &subgraph, std::vector<ImagingNode *> &peers)
{
    for (const auto &entry : subgraph.imagingNodes) {
        ImagingNode &node = *entry.second;
        std::string peer;
        if (node.type == ImagingInputPort && !node.visited && node.configNode != nullptr &&
            node.configNode->getValue(key_peer, peer) == err_none)
            peers.push_back(&node);
    }
    return err_none;
}

// --- inside a subgraph ----------------------------------------------------------

status_t GraphUtil::resHistoryINodeVisitor(BaseGraphNode *base)
{
    if (base == nullptr)
        return err_internal;
    ImagingNode &node = inner(base);
    const char *name = node.name.c_str();
    logVerbose("--- Visiting node %s ---", name);
    if ((node.flags & kFlagDisabledPath) != 0) {
        logVerbose("--- Res history Visit of node %s  SKIPPED node disabled ---", name);
        return err_end;
    }
    status_t status = getParentHistory(node, node.resHistory);
    if (status == err_retry) {
        logVerbose("--- Res history node %s  SKIPPED, will try again later ---", name);
        return err_retry;
    }
    if (status != err_none) {
        logError("Could not find parent history for node %s", name);
        return status;
    }
    for (const auto &output : node.outputs)
        node.portHistories[output.second] = node.resHistory;
    if (node.type != ImagingKernel) {
        logVerbose("Resolution history: %s", TolKorUtils::resInfoToStr(node.resHistory));
        logVerbose("--- Res history Visit of node %s  DONE ---", name);
        return err_none;
    }

    if (TolKorUtils::kernelHasResolutions(node.configNode)) {
        if (getKernelResolutionInfos(node) != err_none) {
            logError("Retrieval of resolution info for RCB kernel %s Failed", name);
            return err_internal;
        }
    } else if ((node.flags & kFlagRcb) != 0) {
        // The image passes through unchanged.
        ve_isp_tol_resolution_info passThrough{};
        passThrough.input_width = passThrough.output_width = node.resHistory.output_width;
        passThrough.input_height = passThrough.output_height = node.resHistory.output_height;
        for (const auto &output : node.outputs)
            node.resInfos[output.second] = passThrough;
    }
    logVerbose("node %s has %ld resinfo(s)", name, static_cast<long>(node.resInfos.size()));
    for (const auto &info : node.resInfos)
        logVerbose("[%s]: %s", info.first.c_str(), TolKorUtils::resInfoToStr(info.second));
    if (!node.resInfos.empty()) {
        status = applyRcbResInfos(node);
        if (status != err_none)
            return status;
    }
    logVerbose("--- Res history Visit of node %s  DONE ---", name);
    return err_none;
}

status_t GraphUtil::applyRcbResInfos(ImagingNode &node)
{
    const ve_isp_tol_resolution_info &history = node.resHistory;
    if (history.output_width == 0 || history.output_height == 0) {
        logError("Resolution history output width or height is 0");
        return err_internal;
    }
    // Source pixels per pixel of the kernel's input, in 1/1024 units.
    using namespace wrap32;
    const int32_t scaleW =
        div(mul(sub(sub(history.input_width, history.input_crop.left), history.input_crop.right), 1024),
            history.output_width);
    const int32_t scaleH =
        div(mul(sub(sub(history.input_height, history.input_crop.top), history.input_crop.bottom), 1024),
            history.output_height);
    logVerbose("RCB node %s history", node.name.c_str());
    for (const auto &entry : node.resInfos) {
        const ve_isp_tol_resolution_info &info = entry.second;
        if (info.input_width != history.output_width || info.input_height != history.output_height) {
            logError("Consistency error in kernel %s, res info input(%dx%d) is different than res history "
                     "output(%dx%d)- check your settings!",
                     node.name.c_str(), info.input_width, info.input_height, history.output_width,
                     history.output_height);
            return err_internal;
        }
        // A crop that leaves no image would hand out a size of 0 or less.
        if (span(info.input_width, info.input_crop.left, info.input_crop.right) <= 0 ||
            span(info.input_height, info.input_crop.top, info.input_crop.bottom) <= 0 ||
            span(info.output_width, info.output_crop.left, info.output_crop.right) <= 0 ||
            span(info.output_height, info.output_crop.top, info.output_crop.bottom) <= 0) {
            logError("Consistency error in kernel %s, res info [%s] crops more than its image: %s", node.name.c_str(),
                     entry.first.c_str(), TolKorUtils::resInfoToStr(info));
            return err_internal;
        }
        ve_isp_tol_resolution_info output = history;
        output.input_crop.left = add(output.input_crop.left, shr(mul(info.input_crop.left, scaleW), 10));
        output.input_crop.top = add(output.input_crop.top, shr(mul(info.input_crop.top, scaleH), 10));
        output.input_crop.right = add(output.input_crop.right, shr(mul(info.input_crop.right, scaleW), 10));
        output.input_crop.bottom = add(output.input_crop.bottom, shr(mul(info.input_crop.bottom, scaleH), 10));
        output.output_width = sub(sub(info.output_width, info.output_crop.left), info.output_crop.right);
        output.output_height = sub(sub(info.output_height, info.output_crop.top), info.output_crop.bottom);
        node.portHistories[entry.first] = output;
        logVerbose("[%s]: %s", entry.first.c_str(), TolKorUtils::resInfoToStr(output));
    }
    return err_none;
}

bool GraphUtil::parentsReady(ImagingNode &node)
{
    // A node waits for its active parents only: a parent that is switched
    // off (a disabled kernel, or a path towards a disabled port) may never be
    // reached. Parents only become ready during a walk, so a retried visit
    // resumes the check at the parent it waited for: every parent is checked
    // once per walk, however often the node is retried.
    auto parent = node.inputs.begin();
    if (node.waitingFor != nullptr) {
        const auto waited = node.inputs.find(node.waitingFor);
        if (waited != node.inputs.end())
            parent = waited;
    }
    for (; parent != node.inputs.end(); ++parent) {
        const ImagingNode &candidate = inner(parent->first);
        if (!candidate.visited && !candidate.switchedOff()) {
            node.waitingFor = parent->first;
            logVerbose("Node %s not ready to be visited, not all active parents have been visited yet ex: %s",
                       node.name.c_str(), candidate.name.c_str());
            return false;
        }
    }
    node.waitingFor = nullptr;
    return true;
}

status_t GraphUtil::getParentHistory(ImagingNode &node, ve_isp_tol_resolution_info &history)
{
    const char *name = node.name.c_str();
    logVerbose("Getting parent history for node %s", name);
    const auto seed = node.portHistories.find(node.name);
    const bool loopBackInput = node.type == ImagingInputPort && (node.flags & kFlagLoopBack) != 0;
    if (node.inputs.empty()) {
        logVerbose("node %s has no parent, looking inside", name);
        if (node.portHistories.empty()) {
            logError("Node %s with no parents has not been seeded with initial reshistory- BUG", name);
            return err_internal;
        }
        history = node.portHistories.begin()->second;
    } else if (loopBackInput && seed != node.portHistories.end()) {
        // A loop-back input seeded from its private port.
        history = seed->second;
    } else {
        // Reached through its loop-back connection, a loop-back input takes
        // the image its parent delivers like any other node.
        if (!parentsReady(node))
            return err_retry;
        // The largest image wins; a parent not larger in both dimensions
        // than the best so far does not replace it.
        ve_isp_tol_resolution_info best{};
        for (const auto &input : node.inputs) {
            ImagingNode &parent = inner(input.first);
            // A parent on a switched-off path, or a disabled kernel never
            // reached, delivers no image.
            if ((parent.flags & kFlagDisabledPath) != 0 || (!parent.visited && parent.switchedOff()))
                continue;
            const auto self = parent.outputs.find(&node);
            if (self == parent.outputs.end()) {
                logError("Node %s could not find itself in the list of children of its parent- BUG", name);
                return err_none;
            }
            const auto delivered = parent.portHistories.find(self->second);
            if (delivered == parent.portHistories.end()) {
                logError("Could not find the res history for  parent output port %s ", self->second.c_str());
                return err_internal;
            }
            if (delivered->second.output_width > best.output_width &&
                delivered->second.output_height > best.output_height)
                best = delivered->second;
        }
        history = best;
    }
    logVerbose("Parent history for node %s found: %s", name, TolKorUtils::resInfoToStr(history));
    node.portHistories.clear();
    return err_none;
}

status_t GraphUtil::getKernelResolutionInfos(ImagingNode &node)
{
    std::map<std::string, ve_isp_tol_resolution_info> settings;
    if (TolKorUtils::kernelGetResolutions(node.configNode, settings) != err_none)
        return err_argument;
    const char *name = node.name.c_str();
    const long links = static_cast<long>(node.outputs.size());
    ve_isp_tol_resolution_info fallback{};
    if (static_cast<long>(settings.size()) != links) {
        logWarning("Node %s settings have %ld res info but node has %ld children", name,
                   static_cast<long>(settings.size()), links);
        if (settings.empty()) {
            logError("Node %s settings have no res info - fix settings", name);
            return err_internal;
        }
        fallback = settings.begin()->second;
        logWarning("Node %s ports without settings will default to res-info %s", name,
                   TolKorUtils::resInfoToStr(fallback));
    }
    if (links == 1) {
        node.resInfos[node.outputs.begin()->second] = settings.begin()->second;
        return err_none;
    }
    for (const auto &output : node.outputs) {
        const auto found = settings.find(output.second);
        if (found != settings.end()) {
            node.resInfos[output.second] = found->second;
            continue;
        }
        logWarning("Node %s settings have no output id that matches output port %s defaulting %s", name,
                   output.second.c_str(), TolKorUtils::resInfoToStr(fallback));
        node.resInfos[output.second] = fallback;
    }
    return err_none;
}

}  // namespace Vorn
