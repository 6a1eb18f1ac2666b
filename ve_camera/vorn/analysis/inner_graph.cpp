// The imaging inner graph of a subgraph: kernels, routing nodes and
// terminals of its processing nodes, linked by their klinks and by the
// connections between processing nodes of the subgraph; kernels that can
// carry no image are switched off.
#include <vorn/graph_util.h>

#include <algorithm>

#include <ve_cipr/ve_log_common.h>
#include <vorn/graph_camera_util.h>
#include <vorn/tol_kor_utils.h>

#include "analysis/analysis_log.h"

namespace Vorn {
namespace {

using ImagingNode = GraphUtil::ImagingNode;

// Splits "node:port" at its first ":"; without one, all is node.
void splitEnd(const std::string &text, std::string &node, std::string &port)
{
    const size_t colon = text.find(':');
    node = text.substr(0, colon);
    port = colon == std::string::npos ? std::string() : text.substr(colon + 1);
}

bool isKernel(const ImagingNode &node) { return node.type == GraphUtil::ImagingKernel; }

ImagingNode &inner(GraphUtil::BaseGraphNode *node) { return static_cast<ImagingNode &>(*node); }

// Stores node under key unless the key is taken.
bool insertInner(GraphUtil::SubGraphInfo &subgraph, const std::string &key, std::shared_ptr<ImagingNode> node)
{
    node->key = key;
    return subgraph.imagingNodes.emplace(key, std::move(node)).second;
}

// The kernel or routing node a klink names inside its processing node; null,
// with an error line, when there is none.
ImagingNode *klinkNode(GraphUtil::SubGraphInfo &subgraph, const std::string &pgName, const std::string &name)
{
    const auto found = subgraph.imagingNodes.find(pgName + ":" + name);
    if (found == subgraph.imagingNodes.end()) {
        logError("Failed to find Imaging Node %s named in klink in the list of nodes. Inconsistent graph",
                 name.c_str());
        return nullptr;
    }
    return found->second.get();
}

}  // namespace

// --- building -----------------------------------------------------------------

status_t GraphUtil::collectPgInnerGraph(SubGraphInfo &subgraph, const IGraphConfig *pg)
{
    const std::string pgName = pg->getName();
    IGraphConfig *node = const_cast<IGraphConfig *>(pg);
    status_t status = err_none;
    NodeIterator kernels(node);
    while (status == err_none) {
        const IGraphConfig *kernel = kernels.iterateByType(key_kernel);
        if (kernel == nullptr)
            break;
        ++subgraph.kernelCount;
        status = addImagingNode(subgraph, kernel, pgName);
    }
    const std::pair<KeyId, ImagingNodeType> routings[] = {
        {key_mux, ImagingMux}, {key_demux, ImagingDemux}, {key_split, ImagingSplit}};
    for (const auto &routing : routings) {
        NodeIterator children(node);
        while (status == err_none) {
            const IGraphConfig *child = children.iterateByType(routing.first);
            if (child == nullptr)
                break;
            status = addRoutingNode(subgraph, child, routing.second, pgName);
        }
    }
    NodeIterator klinks(node);
    while (status == err_none) {
        const IGraphConfig *klink = klinks.iterateByUid(key_klink);
        if (klink == nullptr)
            break;
        status = addImagingLink(subgraph, klink, pg);
    }
    return status;
}

status_t GraphUtil::addImagingNode(SubGraphInfo &subgraph, const IGraphConfig *kernel, const std::string &pgName)
{
    auto node = std::make_shared<ImagingNode>();
    node->configNode = kernel;
    node->type = ImagingKernel;
    int32_t uuid = 0, rcb = 0;
    if (TolKorUtils::kernelGetValues(kernel, &uuid, nullptr, node->runKernel.metadata, &node->runKernel.enable, &rcb,
                                     nullptr, nullptr, nullptr) != err_none) {
        logError("Failed to retrieve kernel info from IGraphConfig");
        return err_data;
    }
    if (rcb != 0)
        node->flags |= kFlagRcb;
    TolKorUtils::kernelGetBppInfo(kernel, node->runKernel);
    node->runKernel.stream_id = static_cast<uint32_t>(subgraph.streamId);
    node->runKernel.kernel_uuid = static_cast<uint32_t>(uuid);
    kernel->getValue(key_name, node->name);

    const std::string key = pgName + ":" + node->name;
    if (!insertInner(subgraph, key, node)) {
        logError("Imaging node %s insertion failed", key.c_str());
        return err_data;
    }
    logVerbose("Added Imaging node %s uuid %d rcb %d", key.c_str(), static_cast<int>(uuid), static_cast<int>(rcb));
    return err_none;
}

status_t GraphUtil::addRoutingNode(SubGraphInfo &subgraph, const IGraphConfig *routing, ImagingNodeType kind,
                                   const std::string &pgName)
{
    auto node = std::make_shared<ImagingNode>();
    node->configNode = routing;
    node->type = kind;
    routing->getValue(key_name, node->name);
    if (kind == ImagingMux || kind == ImagingDemux) {
        const KeyId path = kind == ImagingMux ? key_active_input : key_active_output;
        if (routing->getValue(path, node->activePath) != err_none)
            logWarning("Failed to get Active routing path for  %s", node->name.c_str());
    }
    const std::string key = pgName + ":" + node->name;
    if (!insertInner(subgraph, key, node)) {
        logError("routing node %s insertion failed ", key.c_str());
        return err_data;
    }
    logVerbose("Added routing node %s", key.c_str());
    return err_none;
}

GraphUtil::ImagingNode *GraphUtil::addTerminal(SubGraphInfo &subgraph, const IGraphConfig *port, ImagingNodeType kind)
{
    const std::string name = GraphCameraUtil::getFullName(*port);
    const auto found = subgraph.imagingNodes.find(name);
    if (found != subgraph.imagingNodes.end()) {
        // A port becomes one terminal, however many klinks or roles name it;
        // a kernel or routing node of that name keeps its place.
        ImagingNode &existing = *found->second;
        if (existing.type != ImagingInputPort && existing.type != ImagingOutputPort) {
            logError("Imaging node %s insertion failed", name.c_str());
            return nullptr;
        }
        return &existing;
    }
    auto node = std::make_shared<ImagingNode>();
    node->configNode = port;
    node->type = kind;
    node->name = name;
    ImagingNode *added = node.get();
    insertInner(subgraph, name, std::move(node));
    return added;
}

status_t GraphUtil::addImagingLink(SubGraphInfo &subgraph, const IGraphConfig *klink, const IGraphConfig *pg)
{
    KernelLink link;
    std::string text;
    klink->getValue(key_source, text);
    splitEnd(text, link.srcNode, link.srcPort);
    text.clear();
    klink->getValue(key_destination, text);
    splitEnd(text, link.dstNode, link.dstPort);
    const std::string pgName = pg->getName();
    bool skipped = false;

    ImagingNode *source = nullptr;
    if (link.srcPort.empty()) {
        const IGraphConfig *port = pg->getDescendant(ItemUID(link.srcNode));
        if (port == nullptr) {
            logError("Failed find port node %s from PG ", link.srcNode.c_str());
            return err_data;
        }
        source = addTerminal(subgraph, port, ImagingInputPort);
        if (source == nullptr)
            return err_data;
        logVerbose("Adding klink %s:%s  IgraphConfig %p", GraphCameraUtil::print(port).c_str(),
                   GraphCameraUtil::print(pg).c_str(), static_cast<const void *>(port));
    } else {
        source = klinkNode(subgraph, pgName, link.srcNode);
        if (source == nullptr)
            return err_data;
        if (source->type == ImagingDemux && std::to_string(source->activePath) != link.srcPort) {
            if (mVersion < GDF_VERSION_OKT7)
                logWarning("Found klink from a demux non active output %s- FIX your GDF!! use the ZLT oficial version",
                           link.toStr().c_str());
            skipped = true;
        }
    }

    ImagingNode *destination = nullptr;
    if (link.dstPort.empty()) {
        const IGraphConfig *port = pg->getDescendant(ItemUID(link.dstNode));
        if (port == nullptr) {
            logError("Failed find port node %s from PG port", link.dstNode.c_str());
            return err_data;
        }
        destination = addTerminal(subgraph, port, ImagingOutputPort);
        if (destination == nullptr)
            return err_data;
    } else {
        destination = klinkNode(subgraph, pgName, link.dstNode);
        if (destination == nullptr)
            return err_data;
        if (destination->type == ImagingMux && std::to_string(destination->activePath) != link.dstPort) {
            if (mVersion < GDF_VERSION_OKT7) {
                logError("Found klink to a mux non active input %s - incorrect GDF", link.toStr().c_str());
                return err_internal;
            }
            skipped = true;
        }
    }

    if (skipped) {
        logVerbose("Klink %s skipped due to mux config", link.toStr().c_str());
        return err_none;
    }
    destination->inputs.emplace(source, link.dstPort);
    source->outputs.emplace(destination, link.srcPort);
    logVerbose("Addded link %s", link.toStr().c_str());
    return err_none;
}

status_t GraphUtil::collectSourceInnerGraph(SubGraphInfo &subgraph)
{
    logVerbose("Collecting source output port");
    for (const IGraphConfig *port : subgraph.outputPorts) {
        const ImagingNode *terminal = addTerminal(subgraph, port, ImagingOutputPort);
        if (terminal == nullptr)
            return err_data;
        logVerbose("Collecting source output port %s", terminal->name.c_str());
    }
    return err_none;
}

status_t GraphUtil::collectInterPgConnections(SubGraphInfo &subgraph)
{
    if (mGraphSettings->getDescendant(key_graph) == nullptr)
        return err_data;
    // The connections that start at a node of this inner graph, found by
    // their source text, in the order of the graph's connections.
    std::vector<size_t> starting;
    for (const auto &entry : subgraph.imagingNodes) {
        const auto found = mConnectionsBySource.find(entry.first);
        if (found != mConnectionsBySource.end())
            starting.insert(starting.end(), found->second.begin(), found->second.end());
    }
    std::sort(starting.begin(), starting.end());
    for (const size_t index : starting) {
        const ConnectionEnds &ends = mConnectionEnds[index];
        const auto sink = subgraph.imagingNodes.find(ends.sink);
        if (sink == subgraph.imagingNodes.end())
            continue;
        ImagingNode &from = *subgraph.imagingNodes.find(ends.source)->second;
        ImagingNode &to = *sink->second;
        logVerbose("Adding internal connection to Imaging graph %s->%s", ends.source.c_str(), ends.sink.c_str());
        from.outputs.emplace(&to, ends.sink);
        to.inputs.emplace(&from, ends.source);
        if (nodePart(ends.source) == nodePart(ends.sink)) {
            from.flags |= kFlagLoopBack;
            to.flags |= kFlagLoopBack;
        }
    }
    return err_none;
}

// --- switching kernels off ------------------------------------------------------

status_t GraphUtil::kernelDisconectedVisitor(BaseGraphNode *base, bool forward)
{
    if (base == nullptr)
        return err_internal;
    ImagingNode &node = inner(base);
    if (forward) {
        if (node.type == ImagingOutputPort)
            return err_end;
    } else if (node.type == ImagingSplit || node.type == ImagingInputPort) {
        return err_end;
    }
    if (!isKernel(node))
        return err_none;
    if (node.runKernel.enable == VE_ISP_TOL_KERNEL_DISABLED || (!forward && node.outputs.size() > 1))
        return err_end;
    node.runKernel.enable = VE_ISP_TOL_KERNEL_DISABLED;
    logVerbose(forward ? "disable disconnected kernel -> %s " : "disable disconnected kernel <- %s ",
               node.name.c_str());
    return err_none;
}

status_t GraphUtil::disableDisconnectedKernels(SubGraphInfo &subgraph)
{
    if (mVersion <= GDF_VERSION_OKT6)
        return err_none;
    logVerbose("Starting to disable disconnected kernels!");
    bool walked = false;
    for (const auto &entry : subgraph.imagingNodes) {
        ImagingNode &node = *entry.second;
        if (node.type > ImagingSplit)
            continue;
        for (const bool forward : {true, false}) {
            if (!(forward ? node.inputs : node.outputs).empty())
                continue;
            logVerbose(forward ? "disabling downstream kernels from disconnected node  %s"
                               : "disabling upstream kernels from disconnected node  %s",
                       node.name.c_str());
            walked = true;
            const status_t status = traverseGraph(
                &node, [forward](BaseGraphNode *visited) { return kernelDisconectedVisitor(visited, forward); },
                forward);
            if (status != err_none && status != err_end) {
                logError("subgraph %d inner graph traversal stopped with error %d", static_cast<int>(subgraph.id),
                         static_cast<int>(status));
                resetInnerGraph(subgraph, true);
                return status;
            }
        }
    }
    if (walked)
        resetInnerGraph(subgraph, false);
    logVerbose("Finished to disable disconnected kernels!");
    return err_none;
}

status_t GraphUtil::kernelDisableVisitor(BaseGraphNode *base, bool forward)
{
    if (base == nullptr)
        return err_internal;
    ImagingNode &node = inner(base);
    node.flags |= kFlagDisabledPath;
    if (!isKernel(node)) {
        if (forward)
            return node.type == ImagingOutputPort && node.outputs.empty() ? err_end : err_none;
        if (node.type != ImagingSplit)
            return err_none;
        for (const auto &output : node.outputs) {
            if (!output.first->visited) {
                node.flags &= ~kFlagDisabledPath;
                return err_retry;
            }
        }
        return err_none;
    }
    if ((forward ? node.inputs : node.outputs).size() > 1) {
        // Still fed from, or still feeding, something else.
        node.flags &= ~kFlagDisabledPath;
        return err_end;
    }
    logVerbose("kernel %s disabled", node.name.c_str());
    node.runKernel.enable = VE_ISP_TOL_KERNEL_DISABLED;
    return err_none;
}

status_t GraphUtil::disableToDisabledPorts(SubGraphInfo &subgraph, ImagingNodeType kind, bool forward, bool &walked)
{
    for (const auto &entry : subgraph.imagingNodes) {
        ImagingNode &node = *entry.second;
        if (node.type != kind || node.configNode == nullptr)
            continue;
        int32_t enabled = -1;
        if (node.configNode->getValue(key_enabled, enabled) != err_none || enabled != 0)
            continue;
        logVerbose(forward ? "disabling kernels from port %s " : "disabling kernels to port %s ", node.name.c_str());
        walked = true;
        const status_t status = traverseGraph(
            &node, [forward](BaseGraphNode *visited) { return kernelDisableVisitor(visited, forward); }, forward);
        if (status != err_none && status != err_end) {
            logError("subgraph %d inner graph traversal stopped with error %d", static_cast<int>(subgraph.id),
                     static_cast<int>(status));
            resetInnerGraph(subgraph, true);
            return status;
        }
    }
    return err_none;
}

status_t GraphUtil::disableKernelsToDisabledTerminals(SubGraphInfo &subgraph)
{
    logVerbose("disableKernelsToDisabledTerminals stream id %d has %ld output ports to check",
               static_cast<int>(subgraph.streamId), static_cast<long>(subgraph.outputPorts.size()));
    bool walked = false;
    status_t status = disableToDisabledPorts(subgraph, ImagingOutputPort, false, walked);
    if (status != err_none)
        return status;
    if (walked)
        resetInnerGraph(subgraph, false);
    logVerbose("disableKernelsToDisabledTerminals - Processing input ports");
    bool walkedInputs = false;
    status = disableToDisabledPorts(subgraph, ImagingInputPort, true, walkedInputs);
    if (status != err_none)
        return status;
    if (walkedInputs)
        resetInnerGraph(subgraph, false);
    return err_none;
}

void GraphUtil::resetInnerGraph(const SubGraphInfo &subgraph, bool report)
{
    unsigned visited = 0, active = 0;
    std::vector<const ImagingNode *> missed;
    for (const auto &entry : subgraph.imagingNodes) {
        ImagingNode &node = *entry.second;
        visited += node.visited ? 1u : 0u;
        if (!node.switchedOff()) {
            ++active;
            if (!node.visited)
                missed.push_back(&node);
        }
        node.visited = false;
        node.waitingFor = nullptr;
    }
    if (report && visited < active) {
        logWarning("Traversal of inner graph %d did not reach all ACTIVE nodes %u/%u", static_cast<int>(subgraph.id),
                   visited, active);
        for (const ImagingNode *node : missed)
            logWarning("Imaging Node %s not reached", node->name.c_str());
    }
}

}  // namespace Vorn
