// Subgraphs: the outer nodes grouped by their subgraph id, the ports through
// which other subgraphs feed them, and the meta graph of the connections
// between subgraphs.
#include <vorn/graph_util.h>

#include <ve_cipr/ve_log_common.h>
#include <vorn/graph_camera_util.h>

#include "analysis/analysis_log.h"
#include "model/decimal_text.h"
#include "model/tree.h"

namespace Vorn {

int32_t GraphUtil::subgraphIdOf(const GraphNode &node) const
{
    return mSgKey == key_stream_id ? node.streamId : node.execCtxId;
}

void GraphUtil::getAvailableSubgraphs(std::set<int32_t> &ids) const
{
    for (const auto &entry : mGraphNodes)
        ids.insert(subgraphIdOf(*entry.second));
}

status_t GraphUtil::analyzeSubGraphs()
{
    mSubGraphs.clear();
    std::set<int32_t> ids;
    getAvailableSubgraphs(ids);
    logVerbose("Found %lu subgraphs of type %s", static_cast<unsigned long>(ids.size()), ItemUID::key2str(mSgKey));

    // The nodes of each subgraph in name order, gathered in one pass.
    std::map<int32_t, std::vector<GraphNode *>> members;
    for (const auto &entry : mGraphNodes)
        members[subgraphIdOf(*entry.second)].push_back(entry.second.get());
    // The processing nodes of each subgraph in the graph's child order (those
    // removed from the outer graph included) and the sources, from which
    // the subgraphs' output ports are found.
    std::map<int32_t, std::vector<IGraphConfig *>> processing;
    tree::forEachChildOfType(*mGraphSettings, mPgKey, [&](IGraphConfig *node) {
        int32_t id = -1;
        if (node->getValue(mSgKey, id) == err_none)
            processing[id].push_back(node);
    });
    std::vector<IGraphConfig *> sources;
    tree::forEachChildOfType(*mGraphSettings, key_source, [&](IGraphConfig *node) { sources.push_back(node); });

    for (const int32_t id : ids) {
        auto subgraph = std::make_shared<SubGraphInfo>();
        subgraph->sgKey = mSgKey;
        subgraph->id = id;
        status_t status = collectSubgraphNodes(*subgraph, members[id]);
        if (status == err_none) {
            std::vector<IGraphConfig *> outputs;
            (void)GraphCameraUtil::getOutputPortsOf(processing[id], sources, mSgKey, id, outputs, mPgKey);
            subgraph->outputPorts.assign(outputs.begin(), outputs.end());
        }
        if (status == err_none)
            status = buildInnerGraph(*subgraph);
        if (status != err_none)
            return status;
        mSubGraphs.emplace(id, std::move(subgraph));
    }

    dumpSubGraphInfos();
    const status_t status = collectSubgraphConnections();
    if (status != err_none) {
        logError("Failed to add graph connections to imaging graph info from");
        return status;
    }
    return err_none;
}

status_t GraphUtil::readTuningMode(const GraphNode &node, SubGraphInfo &subgraph) const
{
    // The loader stores "tuning_mode" as an integer; a text written by other
    // means is read as a decimal number.
    int32_t value = 0;
    if (node.configNode->getValue(key_tuning_mode, value) == err_none) {
        subgraph.tuningMode = value;
        return err_none;
    }
    std::string text;
    if (node.configNode->getValue(key_tuning_mode, text) != err_none)
        return err_none;
    if (!decimalToInt32(text.data(), text.data() + text.size(), value)) {
        logError("Invalid tuning_mode \"%s\" of node %s", text.c_str(), node.name.c_str());
        return err_data;
    }
    subgraph.tuningMode = value;
    return err_none;
}

status_t GraphUtil::collectSubgraphNodes(SubGraphInfo &subgraph, const std::vector<GraphNode *> &nodes)
{
    for (GraphNode *node : nodes) {
        subgraph.nodes.push_back(node);
        if (node->type == mPgKey) {
            subgraph.pgs.push_back(node->configNode);
            subgraph.streamId = node->streamId;
        }
        status_t status = getCrossSgInPorts(*node, subgraph.inputPorts);
        if (status == err_none)
            status = readTuningMode(*node, subgraph);
        if (status != err_none)
            return status;
    }
    return err_none;
}

status_t GraphUtil::buildInnerGraph(SubGraphInfo &subgraph)
{
    for (const IGraphConfig *pg : subgraph.pgs) {
        if (pg == nullptr)
            return err_internal;
        const status_t status = collectPgInnerGraph(subgraph, pg);
        if (status != err_none) {
            logError("Failed to collect imaging graph info from %s", GraphCameraUtil::print(pg).c_str());
            return status;
        }
    }
    status_t status = disableDisconnectedKernels(subgraph);
    if (status != err_none) {
        logError("Failed to disable disconnected filters");
        return status;
    }
    if (subgraph.inputPorts.empty()) {
        status = collectSourceInnerGraph(subgraph);
        if (status != err_none) {
            logError("Failed to collect imaging graph info from source");
            return status;
        }
    }
    status = collectInterPgConnections(subgraph);
    if (status != err_none) {
        logError("Failed to add graph connections to imaging graph info %d", static_cast<int>(subgraph.id));
        return status;
    }
    return err_none;
}

status_t GraphUtil::getCrossSgInPorts(const GraphNode &node, std::vector<const IGraphConfig *> &ports) const
{
    const int32_t id = subgraphIdOf(node);
    for (const auto &input : node.inputs) {
        const auto &parent = static_cast<const GraphNode &>(*input.first);
        if (subgraphIdOf(parent) == id)
            continue;
        logVerbose("found parent %s in different subgraph id %d", parent.name.c_str(),
                   static_cast<int>(parent.streamId));
        // The connections from this parent to this node, in child order.
        const auto found = mConnectionsByNodes.find({parent.name, node.name});
        if (found == mConnectionsByNodes.end())
            continue;
        for (const size_t index : found->second) {
            const std::string &sink = mConnectionEnds[index].sink;
            const IGraphConfig *port = mGraphSettings->getDescendant(ItemUID(sink));
            if (port == nullptr) {
                logError("Could not find input port %s - impossible", sink.c_str());
                return err_internal;
            }
            ports.push_back(port);
            logVerbose("found input port %s", GraphCameraUtil::print(port).c_str());
        }
    }
    return err_none;
}

status_t GraphUtil::subgraphConnectionVisitor(BaseGraphNode *node)
{
    if (node == nullptr)
        return err_internal;
    const auto &from = static_cast<const GraphNode &>(*node);
    const int32_t fromId = subgraphIdOf(from);
    for (const auto &output : from.outputs) {
        const auto &to = static_cast<const GraphNode &>(*output.first);
        const int32_t toId = subgraphIdOf(to);
        if (toId == fromId)
            continue;
        logVerbose("Connection %s (%d)-->%s(%d) crosses subgraphs", from.name.c_str(), static_cast<int>(fromId),
                   to.name.c_str(), static_cast<int>(toId));
        const auto fromSubgraph = mSubGraphs.find(fromId);
        const auto toSubgraph = mSubGraphs.find(toId);
        if (fromSubgraph == mSubGraphs.end() || toSubgraph == mSubGraphs.end())
            return err_internal;
        fromSubgraph->second->outputs.emplace(toSubgraph->second.get(), std::to_string(toId));
        toSubgraph->second->inputs.emplace(fromSubgraph->second.get(), std::to_string(fromId));
    }
    return err_none;
}

status_t GraphUtil::collectSubgraphConnections()
{
    logVerbose("Looking for connections between subgraphs");
    status_t result = err_none;
    for (const auto &entry : mGraphNodes) {
        if (entry.second->type != key_source)
            continue;
        const status_t status = traverseGraph(
            entry.second.get(), [this](BaseGraphNode *node) { return subgraphConnectionVisitor(node); }, true);
        if (status != err_none && status != err_end) {
            result = status;
            break;
        }
    }
    resetGraph();
    if (result == err_none)
        logVerbose("Connections between subgraphs analysis completed!!");
    return result;
}

void GraphUtil::resetMetaGraph()
{
    const unsigned visited = clearVisitedMarks(mSubGraphs);
    const unsigned long total = mSubGraphs.size();
    if (visited != total)
        logError("Traversal of meta graph did not reach all nodes %u/%lu", visited, total);
}

void GraphUtil::dumpSubGraphInfos() const
{
    logVerbose("%s", kDumpSeparator);
    logVerbose("FOUND %lu subgraphs of type %s ", static_cast<unsigned long>(mSubGraphs.size()),
               ItemUID::key2str(mSgKey));
    logVerbose("%s", kDumpSeparator);
    for (const auto &entry : mSubGraphs) {
        const SubGraphInfo &subgraph = *entry.second;
        logVerbose("----> subgraph id %d Info START", static_cast<int>(subgraph.id));
        logVerbose("KernelCount %lu, Tuning Mode %d ", static_cast<unsigned long>(subgraph.kernelCount),
                   static_cast<int>(subgraph.tuningMode));
        logVerbose("PG Count %lu ", static_cast<unsigned long>(subgraph.pgs.size()));
        for (const IGraphConfig *pg : subgraph.pgs)
            logVerbose("* %s ", GraphCameraUtil::print(pg).c_str());
        logVerbose("Input Ports %lu ", static_cast<unsigned long>(subgraph.inputPorts.size()));
        for (const IGraphConfig *port : subgraph.inputPorts)
            logVerbose("* [Input] %s ", GraphCameraUtil::print(port).c_str());
        logVerbose("Output Ports %lu ", static_cast<unsigned long>(subgraph.outputPorts.size()));
        for (const IGraphConfig *port : subgraph.outputPorts)
            logVerbose("* [Output]: %s ", GraphCameraUtil::print(port).c_str());
        logVerbose("<--- subgraph id %d Info END", static_cast<int>(subgraph.id));
    }
}

}  // namespace Vorn
