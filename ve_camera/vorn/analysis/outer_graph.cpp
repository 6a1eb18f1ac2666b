// The outer graph: one node per top-level node of the result graph, linked
// by the connections of its "graph" element; nodes that lead to no sink are
// removed.
#include <vorn/graph_util.h>

#include <ve_cipr/ve_log_common.h>
#include <vorn/graph_camera_util.h>

#include "analysis/analysis_log.h"

namespace Vorn {
namespace {

// The port part of a connection end; empty without ":".
std::string portPart(const std::string &end)
{
    const size_t colon = end.find(':');
    return colon == std::string::npos ? std::string() : end.substr(colon + 1);
}

}  // namespace

status_t GraphUtil::analyzeGraphSettings()
{
    logVerbose("--------- GraphSettings analysis started !!---------------");
    NodeIterator children(const_cast<IGraphConfig *>(mGraphSettings));
    while (const IGraphConfig *child = children.iterateDescendants()) {
        const status_t status = addGraphNode(child);
        if (status != err_none)
            return status;
    }

    IGraphConfig *graph = mGraphSettings->getDescendant(key_graph);
    if (graph == nullptr) {
        logError("Failed to locate graph node - Invalid settings");
        return err_internal;
    }
    NodeIterator connections(graph);
    while (const IGraphConfig *connection = connections.iterateByUid(key_connection)) {
        const status_t status = addGraphConnection(connection);
        if (status != err_none)
            return status;
        mConnections.push_back(connection);
    }

    status_t status = removeUnusedNodes();
    if (status != err_none) {
        logError("Removal of unused of nodes failed  %d ", static_cast<int>(status));
        return status;
    }
    dumpOuterGraph();
    status = analyzeSubGraphs();
    if (status != err_none)
        logError("Analysis of subgraphs failed  %d ", static_cast<int>(status));
    else
        logVerbose("--------- GraphSettings analysis succeeded !!---------------");
    return status;
}

status_t GraphUtil::addGraphNode(const IGraphConfig *node)
{
    // The graph element holds the connections; it is not a node of the graph,
    // whether or not it carries a type.
    if (node->getUid() == key_graph)
        return err_none;
    std::string typeText;
    if (node->getValue(key_type, typeText) != err_none) {
        logError("Could not get type of graph node %s ignoring", GraphCameraUtil::print(node).c_str());
        GraphCameraUtil::dumpNodeTree(node, 0);
        return err_none;
    }
    const KeyId type = ItemUID::str2key(typeText);
    if (type == key_graph)
        return err_none;

    auto graphNode = std::make_shared<GraphNode>();
    graphNode->type = type;
    graphNode->configNode = node;
    if (node->getValue(key_name, graphNode->name) != err_none) {
        logError("Could not get name of graph node %s ignoring", GraphCameraUtil::print(node).c_str());
        return err_none;
    }
    graphNode->key = graphNode->name;
    node->getValue(key_stream_id, graphNode->streamId);
    node->getValue(key_exec_ctx_id, graphNode->execCtxId);

    GraphNode &added = *graphNode;
    if (!mGraphNodes.emplace(added.name, std::move(graphNode)).second) {
        logError("Graph node %s insertion failed", added.name.c_str());
        return err_data;
    }
    logVerbose("Node %s of type %s stream-id %d exeCtxId %d added to graph", added.name.c_str(), typeText.c_str(),
               static_cast<int>(added.streamId), static_cast<int>(added.execCtxId));
    return err_none;
}

void GraphUtil::indexConnection(const IGraphConfig *connection)
{
    ConnectionEnds ends{connection, {}, {}};
    connection->getValue(key_source, ends.source);
    connection->getValue(key_sink, ends.sink);
    const size_t index = mConnectionEnds.size();
    mConnectionsByNodes[{nodePart(ends.source), nodePart(ends.sink)}].push_back(index);
    mConnectionsBySource[ends.source].push_back(index);
    mFirstConnectionBySink.emplace(ends.sink, index);
    mConnectionEnds.push_back(std::move(ends));
}

status_t GraphUtil::addGraphConnection(const IGraphConfig *connection)
{
    indexConnection(connection);
    const ConnectionEnds &ends = mConnectionEnds.back();
    const auto source = mGraphNodes.find(nodePart(ends.source));
    if (source == mGraphNodes.end()) {
        logWarning("Connection %s->%s skipped due to source not FOUND, Partial graph settings in use!",
                   ends.source.c_str(), ends.sink.c_str());
        return err_none;
    }
    const auto sink = mGraphNodes.find(nodePart(ends.sink));
    if (sink == mGraphNodes.end())
        return err_none;
    source->second->outputs.emplace(sink->second.get(), portPart(ends.sink));
    sink->second->inputs.emplace(source->second.get(), portPart(ends.source));
    return err_none;
}

status_t GraphUtil::activeNodeVisitor(BaseGraphNode *node, std::set<std::string> *active)
{
    if (node == nullptr || active == nullptr)
        return err_internal;
    logError("Visiting  node %s ", node->name.c_str());
    if (node->visited) {
        logError("node %s already visited, skipping", node->name.c_str());
        return err_none;
    }
    active->insert(node->name);
    if (node->inputs.empty()) {
        logError("node %s is last one, stopping", node->name.c_str());
        return err_end;
    }
    return err_none;
}

void GraphUtil::removeOuterNode(NodeMap::iterator node)
{
    GraphNode *removed = node->second.get();
    for (const auto &input : removed->inputs)
        input.first->outputs.erase(removed);
    for (const auto &output : removed->outputs)
        output.first->inputs.erase(removed);
    mGraphNodes.erase(node);
}

status_t GraphUtil::removeUnusedNodes()
{
    logVerbose("Removing Unusued Nodes");
    std::set<std::string> active;
    const size_t before = mGraphNodes.size();
    for (const auto &entry : mGraphNodes) {
        if (entry.second->type != key_sink)
            continue;
        logVerbose("Starting traversal at node %s ", entry.first.c_str());
        const status_t status = traverseGraph(
            entry.second.get(), [&active](BaseGraphNode *node) { return activeNodeVisitor(node, &active); }, false);
        if (status != err_none) {
            resetGraph();
            return status;
        }
    }
    resetGraph();

    for (auto it = mGraphNodes.begin(); it != mGraphNodes.end();) {
        if (active.count(it->first) != 0) {
            ++it;
            continue;
        }
        logVerbose("Node %s not active, removing", it->first.c_str());
        removeOuterNode(it++);
    }
    logVerbose("Removed %lu Unusued Nodes - Done!", static_cast<unsigned long>(before - active.size()));
    return err_none;
}

void GraphUtil::resetGraph()
{
    const unsigned visited = clearVisitedMarks(mGraphNodes);
    const unsigned long total = mGraphNodes.size();
    logVerbose("Visited graph nodes %u/%lu", visited, total);
    if (visited != total)
        logError("Traversal of graph did not reach all nodes %u/%lu", visited, total);
}

status_t GraphUtil::printOuterNode(BaseGraphNode *node)
{
    const auto *outer = static_cast<const GraphNode *>(node);
    logError("StreamId %d execCtx %d --> Node[%s]%s ", static_cast<int>(outer->streamId),
             static_cast<int>(outer->execCtxId), ItemUID::key2str(outer->type), outer->name.c_str());
    return err_none;
}

void GraphUtil::dumpOuterGraph()
{
    logVerbose("%s", kDumpSeparator);
    logVerbose("Dumping Outer graph");
    logVerbose("%s", kDumpSeparator);
    for (const auto &entry : mGraphNodes) {
        if (entry.second->type != key_source)
            continue;
        logVerbose("-->START <-- src name: %s", entry.first.c_str());
        const status_t status = traverseGraph(entry.second.get(), printOuterNode, true);
        logVerbose("--> END <-- %d", static_cast<int>(status));
    }
    resetGraph();
}

}  // namespace Vorn
