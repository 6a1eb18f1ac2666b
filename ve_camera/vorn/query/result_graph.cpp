// Result-graph construction: the descriptor nodes a graph connects, their
// connections as "peer" attributes, the settings on top, the graph's
// overrides, port pruning and the sensor-mode data.
#include <vorn/graph_query_manager.h>

#include <memory>
#include <new>
#include <vector>

#include <ve_cipr/ve_log_common.h>
#include <vorn/graph_camera_util.h>
#include <vorn/graph_query_utils.h>

#include "log_tags.h"
#include "model/tree.h"
#include "no_memory.h"
#include "query/pruning.h"

namespace Vorn {

namespace {

constexpr const char *kTag = kVornTag;

// Settings merge: copy missing nodes, feed output ports to their peers, deep merge.
constexpr int8_t kSettingsMergeFlags =
    GraphQueryUtils::kCopyMissingNodes | GraphQueryUtils::kFeedPeers | GraphQueryUtils::kDeepMerge;

using tree::childNode;
using tree::nodeOf;

// One end of a connection: "node:port" or a node name alone.
struct Endpoint {
    explicit Endpoint(const std::string &text)
    {
        const ItemUID uid(text);
        node = uid.size() >= 1 ? uid[0] : 0;
        port = uid.size() >= 2 ? uid[1] : 0;
        const size_t colon = text.find(':');
        nodeName = text.substr(0, colon);
        if (colon != std::string::npos) {
            const size_t next = text.find(':', colon + 1);
            portName = text.substr(colon + 1, next == std::string::npos ? std::string::npos : next - colon - 1);
        }
    }

    // A port piece that names no key still names a port (one that no node
    // can have), so the endpoint is never taken for a virtual sink.
    bool hasPort() const { return !portName.empty(); }

    KeyId node = 0;
    KeyId port = 0;
    std::string nodeName;
    std::string portName;
};

// The port of an endpoint inside a copied node, or the node itself when the
// endpoint names no port; null (with an error) for a missing port.
GraphConfigNode *resolvePort(GraphConfigNode *node, const Endpoint &endpoint)
{
    if (!endpoint.hasPort())
        return node;
    GraphConfigNode *port = endpoint.port != 0 ? childNode(node, endpoint.port) : nullptr;
    if (port == nullptr)
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Node(%s) has no port named '%s'", endpoint.nodeName.c_str(),
                            endpoint.portName.c_str());
    return port;
}

// The result's copy of an endpoint's descriptor node; null, with an error
// naming the end ("src" or "dst"), when it cannot be copied.
GraphConfigNode *copyEndpointNode(GraphQueryManager &manager, const IGraphConfig *nodes, const Endpoint &endpoint,
                                  const char *end, GraphConfigNode *result)
{
    GraphConfigNode *node = GraphConfigNode::from(manager.copyNodeToResult(nodes, endpoint.node, result));
    if (node == nullptr)
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to copy %s node(%s) from descriptor to settings", end,
                            endpoint.nodeName.c_str());
    return node;
}

// The descriptor's "nodes" node; null, with an error, when it has none.
const GraphConfigNode *descriptorNodes(const IGraphConfig *descriptor)
{
    const GraphConfigNode *nodes =
        descriptor != nullptr ? childNode(GraphConfigNode::from(descriptor), key_nodes) : nullptr;
    if (nodes == nullptr)
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Error, graph_descriptor does not have a 'nodes' node");
    return nodes;
}

// The two ends of a connection inside the copied nodes. A sink without a
// port is a virtual sink: it becomes an input ("direction" 0, err_exists
// when it already has one) and is its own end.
status_t resolveEnds(GraphConfigNode *sourceNode, const Endpoint &source, GraphConfigNode *sinkNode,
                     const Endpoint &sink, GraphConfigNode *&sourceEnd, GraphConfigNode *&sinkEnd)
{
    if (!sink.hasPort()) {
        const status_t status = sinkNode->addValue(key_direction, 0);
        if (status != err_none)
            return status;
    }
    sourceEnd = resolvePort(sourceNode, source);
    if (sourceEnd == nullptr)
        return err_general;
    sinkEnd = resolvePort(sinkNode, sink);
    return sinkEnd != nullptr ? err_none : err_general;
}

// Appends one more "peer" attribute, after those already present.
status_t appendPeer(GraphConfigNode *endpoint, const std::string &peer)
{
    UniqueItem attribute(new (std::nothrow) GraphConfigStrAttribute());
    if (!attribute)
        return err_nomemory;
    const status_t status = attribute->setValue(peer);
    return status == err_none ? endpoint->adoptDescendant(std::move(attribute), key_peer) : status;
}

// Writes the "peer" attributes on both ends of a connection.
status_t linkEndpoints(GraphConfigNode *sourceEnd, const Endpoint &source, const std::string &sourceText,
                       GraphConfigNode *sinkEnd, const Endpoint &sink, const std::string &storedPeer)
{
    std::string existing;
    if (sourceEnd->getValue(key_peer, existing) == err_none)
        ve_log_common_debug(VE_LOG_VERBOSE, kTag, "Node(%s) port '%s' already connected once to '%s'",
                            source.nodeName.c_str(), source.portName.c_str(), existing.c_str());
    status_t status = appendPeer(sourceEnd, storedPeer);
    if (status != err_none)
        return status;

    if (sinkEnd->getValue(key_peer, existing) == err_none)
        ve_log_common_debug(VE_LOG_VERBOSE, kTag, "Node(%s) port '%s' already connected once to '%s' adding new peer",
                            sink.nodeName.c_str(), sink.portName.c_str(), existing.c_str());
    return appendPeer(sinkEnd, sourceText);
}

// --- the steps of a result graph -----------------------------------------------

// Copies the settings entry's "key" into the result and remembers it.
status_t recordSettingsKey(const GraphConfigNode &settings, GraphConfigNode &result, int32_t &settingsKey)
{
    const status_t status = settings.getValue(key_key, settingsKey);
    return status == err_none ? result.addValue(key_key, settingsKey) : status;
}

// The first child of the descriptor's "graphs" whose "id" is graphId; null,
// with an error, when there is none.
const GraphConfigNode *findGraphElement(const GraphConfigNode &descriptor, int32_t graphId)
{
    if (const GraphConfigNode *graphs = childNode(&descriptor, key_graphs)) {
        for (const auto &child : graphs->children()) {
            const GraphConfigNode *candidate = nodeOf(child.second);
            int32_t id = 0;
            if (candidate != nullptr && candidate->getValue(key_id, id) == err_none && id == graphId)
                return candidate;
        }
    }
    ve_log_common_debug(VE_LOG_ERROR, kTag, "could not find graph with id %d from graph descriptor", graphId);
    return nullptr;
}

// Adds a copy of the graph element, with the descriptor's "version", to the
// result as its "graph".
status_t addGraphElement(const GraphConfigNode &descriptor, const GraphConfigNode &graphElement,
                         GraphConfigNode &result)
{
    UniqueNode graphCopy(graphElement.copy());
    if (!graphCopy) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Error creating GraphConfigNode: No memory");
        return err_nomemory;
    }
    const std::string version = tree::textOr(&descriptor, key_version, "");
    if (graphCopy->addValue(key_version, version) != err_none) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to add GDF version info [%s]to graph", version.c_str());
        return err_nomemory;
    }
    return result.adoptDescendant(std::move(graphCopy), key_graph);
}

// Makes every connection of the graph element, in its order: a
// settings-dependent one (no "static", or "static" "false") from the
// settings, any other from the descriptor alone.
status_t addConnections(GraphQueryManager &manager, const GraphConfigNode &graphElement, GraphConfigNode *settings,
                        GraphConfigNode *result)
{
    const auto connections = graphElement.children().equal_range(key_connection);
    for (auto it = connections.first; it != connections.second; ++it) {
        const GraphConfigNode *connection = nodeOf(it->second);
        if (connection == nullptr)
            continue;
        std::string source;
        std::string sink;
        status_t status =
            tree::readOrLog(connection, key_source, source, kTag, "Error: connection element with no source");
        if (status == err_none)
            status = tree::readOrLog(connection, key_sink, sink, kTag, "Error: connection element with no sink");
        if (status != err_none)
            return status;
        const std::string isStatic = tree::textOr(connection, key_static, "false");
        status = isStatic == "false" ? manager.getConnectionData(source, sink, settings, result)
                                     : manager.getStaticConnectionData(source, sink, result);
        if (status != err_none)
            return status;
    }
    return err_none;
}

// Lays the settings entry over the result.
status_t mergeSettings(GraphConfigNode *settings, GraphConfigNode *result)
{
    const status_t status = GraphQueryUtils::addDescendantsFromNode(result, settings, kSettingsMergeFlags);
    if (status != err_none)
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to add settings to the result graph");
    return status;
}

// Applies the graph element's overrides to the result.
status_t applyOverrides(const GraphConfigNode &graphElement, GraphConfigNode &result, int32_t graphId)
{
    const status_t status = GraphCameraUtil::processGraphOverrides(graphElement, result);
    if (status != err_none)
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to process graph %d overrides", graphId);
    return status;
}

// Merges the sensor mode that the first active source names by "mode_id"
// into it, when that source is the "sensor"; err_data without an active
// source.
status_t addChosenSensorMode(GraphConfigNode *result, const IGraphConfig *settingsRoot)
{
    std::vector<IGraphConfig *> sources;
    if (GraphCameraUtil::getSourceNode(result, sources) != err_none || sources.empty())
        return err_data;
    GraphConfigNode *first = GraphConfigNode::from(sources.front());
    if (first->getUid() != key_sensor)
        return err_none;

    std::string modeId;
    status_t status = first->getValue(key_mode_id, modeId);
    if (status != err_none) {
        ve_log_common_debug(VE_LOG_WARNING, kTag, "Sensor lacks mode_id. Failed to set sensor mode.");
        return status;
    }
    GraphConfigNode *sensorModes = childNode(tree::nodeOf(settingsRoot), key_sensor_modes);
    if (sensorModes == nullptr) {
        ve_log_common_debug(VE_LOG_WARNING, kTag, "Settings file is missing sensor_modes");
        return err_general;
    }
    status = GraphQueryManager::addSensorModeData(first, sensorModes, modeId);
    if (status != err_none)
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Settings file has incorrect sensor mode data");
    return status;
}

// --- the steps of a settings-dependent connection -------------------------------

// The settings' node or port of the connection's source; null, with a
// warning, when the settings lack it (the connection is then ignored).
const GraphConfigNode *settingsSourceOf(const GraphConfigNode &settings, const Endpoint &source, int32_t settingsKey)
{
    const GraphConfigNode *settingsNode = childNode(&settings, source.node);
    if (settingsNode == nullptr) {
        ve_log_common_debug(VE_LOG_WARNING, kTag, "WARNING: Node(%s) not found from settings(%d), ignoring connection.",
                            source.nodeName.c_str(), settingsKey);
        return nullptr;
    }
    if (!source.hasPort())
        return settingsNode;
    const GraphConfigNode *settingsPort = source.port != 0 ? childNode(settingsNode, source.port) : nullptr;
    if (settingsPort == nullptr)
        ve_log_common_debug(VE_LOG_WARNING, kTag, "WARNING: Node(%s) port %s not found from settings(%d).",
                            source.nodeName.c_str(), source.portName.c_str(), settingsKey);
    return settingsPort;
}

// Whether the settings switch the source off ("enabled" 0): its node stays,
// the rest of the connection is skipped.
bool isDisabledSource(const GraphConfigNode &settingsItem, const Endpoint &source)
{
    if (tree::intOr(&settingsItem, key_enabled, 1) != 0)
        return false;
    ve_log_common_debug(VE_LOG_VERBOSE, kTag, "Source port %s disabled, skip destination and peer processing",
                        source.hasPort() ? source.portName.c_str() : source.nodeName.c_str());
    return true;
}

// A connection to a virtual sink goes to the sink the settings name as the
// source's "peer", when they name one.
void redirectVirtualSink(const GraphConfigNode &settingsItem, const std::string &sourceText,
                         const std::string &sinkText, Endpoint &sink, std::string &storedPeer)
{
    std::string peer;
    if (settingsItem.getValue(key_peer, peer) != err_none) {
        ve_log_common_debug(VE_LOG_VERBOSE, kTag, "Using default connection %s", sourceText.c_str());
        return;
    }
    ve_log_common_debug(VE_LOG_VERBOSE, kTag, "Overriding destination node %s with %s", sinkText.c_str(), peer.c_str());
    sink.node = ItemUID::str2key(peer);
    sink.nodeName = peer;
    storedPeer = peer;
}

// Whether the settings hold the sink's node; a warning when they do not
// (the connection is then skipped).
bool isActiveInSettings(const GraphConfigNode &settings, const Endpoint &sink, const Endpoint &source)
{
    if (childNode(&settings, sink.node) != nullptr)
        return true;
    ve_log_common_debug(VE_LOG_WARNING, kTag, "Skipping port %s:%s for not being active in settings.",
                        source.nodeName.c_str(), source.portName.c_str());
    return false;
}

// A sink named without a port must be a virtual sink; it runs in its
// producer's stream unless it names its own "stream_id".
status_t prepareVirtualSink(const GraphConfigNode &sourceNode, GraphConfigNode &sinkNode)
{
    std::string type;
    status_t status = tree::readOrLog(&sinkNode, key_type, type, kTag, "No type for connected peer node");
    if (status != err_none)
        return status;
    if (type != "sink") {
        ve_log_common_debug(VE_LOG_ERROR, kTag,
                            "sink connection attribute without port '%s' not pointing to virtual sink", type.c_str());
        return err_general;
    }
    int32_t streamId = 0;
    if (sinkNode.getValue(key_stream_id, streamId) == err_none)
        return err_none;
    status = tree::readOrLog(&sourceNode, key_stream_id, streamId, kTag, "No stream_id set for connected peer");
    if (status != err_none)
        return status;
    status = sinkNode.addValue(key_stream_id, streamId);
    if (status != err_none)
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to add stream ID to sink peer");
    return status;
}

template <typename Value>
status_t propagateAttribute(const IGraphConfig *from, IGraphConfig *to, KeyId key)
{
    if (from == nullptr || to == nullptr)
        return err_argument;
    GraphConfigNode *target = GraphConfigNode::from(to);
    GraphConfigItem *existing = nullptr;
    const bool present = target->getAttribute(key, &existing) == err_none;

    Value value{};
    const status_t status = from->getValue(key, value);
    if (status != err_none)
        return status;
    if (present)
        return existing->setValue(value);
    return target->addValue(key, value);
}

}  // namespace

// --- the result graph as a whole -------------------------------------------------

status_t GraphQueryManager::createGraph(IGraphConfig *settings, IGraphConfig **graph)
{
    if (graph == nullptr || settings == nullptr)
        return err_argument;
    auto *root = new (std::nothrow) GraphConfigNode();
    if (root == nullptr)
        return err_nomemory;
    // The caller owns the root from here on, whatever the status.
    *graph = root;
    return getGraph(GraphConfigNode::from(settings), root);
}

void GraphQueryManager::destroyGraph(IGraphConfig *graph) const { delete graph; }

status_t GraphQueryManager::getGraph(GraphConfigNode *settings, GraphConfigNode *result)
try {
    if (settings == nullptr || mDescriptor == nullptr || result == nullptr)
        return err_argument;
    const GraphConfigNode *descriptor = GraphConfigNode::from(mDescriptor);

    status_t status = recordSettingsKey(*settings, *result, mSettingsKey);
    if (status != err_none)
        return status;
    int32_t graphId = -1;
    status = settings->getValue(key_id, graphId);
    if (status != err_none)
        return status;
    const GraphConfigNode *graphElement = findGraphElement(*descriptor, graphId);
    if (graphElement == nullptr)
        return err_data;

    status = addGraphElement(*descriptor, *graphElement, *result);
    if (status == err_none)
        status = addConnections(*this, *graphElement, settings, result);
    if (status == err_none)
        status = mergeSettings(settings, result);
    if (status == err_none)
        status = applyOverrides(*graphElement, *result, graphId);
    if (status != err_none)
        return status;
    status = pruneUnusedPorts(result);
    if (status != err_none)
        return status;
    return addChosenSensorMode(result, mSettings);
} catch (const std::bad_alloc &) {
    return noMemory("getGraph");
}

// --- connections -------------------------------------------------------------------

status_t GraphQueryManager::getConnectionData(const std::string &sourceText, const std::string &sinkText,
                                              GraphConfigNode *settings, GraphConfigNode *result)
try {
    if (result == nullptr || settings == nullptr)
        return err_argument;
    const GraphConfigNode *nodes = descriptorNodes(mDescriptor);
    if (nodes == nullptr)
        return err_general;

    const Endpoint source(sourceText);
    const GraphConfigNode *settingsItem = settingsSourceOf(*settings, source, mSettingsKey);
    if (settingsItem == nullptr)
        return err_none;
    GraphConfigNode *sourceNode = copyEndpointNode(*this, nodes, source, "src", result);
    if (sourceNode == nullptr)
        return err_general;
    if (isDisabledSource(*settingsItem, source))
        return err_none;

    Endpoint sink(sinkText);
    std::string storedPeer = sinkText;
    if (!sink.hasPort())
        redirectVirtualSink(*settingsItem, sourceText, sinkText, sink, storedPeer);
    if (!isActiveInSettings(*settings, sink, source))
        return err_none;
    GraphConfigNode *sinkNode = copyEndpointNode(*this, nodes, sink, "dst", result);
    if (sinkNode == nullptr)
        return err_general;

    GraphConfigNode *sourceEnd = nullptr;
    GraphConfigNode *sinkEnd = nullptr;
    status_t status = resolveEnds(sourceNode, source, sinkNode, sink, sourceEnd, sinkEnd);
    if (status == err_none && !sink.hasPort())
        status = prepareVirtualSink(*sourceNode, *sinkNode);
    if (status != err_none)
        return status;
    return linkEndpoints(sourceEnd, source, sourceText, sinkEnd, sink, storedPeer);
} catch (const std::bad_alloc &) {
    return noMemory("getConnectionData");
}

status_t GraphQueryManager::getStaticConnectionData(const std::string &sourceText, const std::string &sinkText,
                                                    GraphConfigNode *result)
try {
    if (result == nullptr)
        return err_argument;
    const GraphConfigNode *nodes = descriptorNodes(mDescriptor);
    if (nodes == nullptr)
        return err_general;

    const Endpoint source(sourceText);
    const Endpoint sink(sinkText);

    GraphConfigNode *sourceNode = copyEndpointNode(*this, nodes, source, "src", result);
    if (sourceNode == nullptr)
        return err_general;
    GraphConfigNode *sinkNode = copyEndpointNode(*this, nodes, sink, "dst", result);
    if (sinkNode == nullptr)
        return err_general;

    GraphConfigNode *sourceEnd = nullptr;
    GraphConfigNode *sinkEnd = nullptr;
    const status_t status = resolveEnds(sourceNode, source, sinkNode, sink, sourceEnd, sinkEnd);
    if (status != err_none)
        return status;
    if (!sink.hasPort()) {
        // A virtual sink runs where its producer runs; a missing value is no
        // failure, running out of memory is.
        if (propagateIntAttribute(sourceNode, sinkNode, key_exec_ctx_id) == err_nomemory ||
            propagateStrAttribute(sourceNode, sinkNode, key_content_type) == err_nomemory)
            return err_nomemory;
    }

    return linkEndpoints(sourceEnd, source, sourceText, sinkEnd, sink, sinkText);
} catch (const std::bad_alloc &) {
    return noMemory("getStaticConnectionData");
}

// --- descriptor nodes ----------------------------------------------------------------

IGraphConfig *GraphQueryManager::copyNodeToResult(const IGraphConfig *nodes, KeyId key, GraphConfigNode *result)
try {
    if (nodes == nullptr || result == nullptr)
        return nullptr;
    const GraphConfigNode *definition = childNode(GraphConfigNode::from(nodes), key);
    if (definition == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Node(%s) not found from descriptor", ItemUID::key2str(key));
        return nullptr;
    }
    if (GraphConfigNode *present = childNode(result, key))
        return present;

    UniqueNode node;
    std::string baseName;
    if (nodeHasBaseNode(*definition, baseName)) {
        node.reset(constructNodeFromBase(definition, baseName, nodes));
        if (!node) {
            ve_log_common_debug(VE_LOG_ERROR, kTag, "Node(%s) could not be built from base node %s",
                                ItemUID::key2str(key), baseName.c_str());
            return nullptr;
        }
    } else {
        node.reset(definition->copy());
        if (!node)
            return nullptr;
    }
    GraphConfigNode *built = node.get();
    return result->adoptDescendant(std::move(node), key) == err_none ? built : nullptr;
} catch (const std::bad_alloc &) {
    return noMemory("copyNodeToResult", nullptr);
}

bool GraphQueryManager::nodeHasBaseNode(const IGraphConfig &node, std::string &baseName) const
{
    return node.getValue(key_base_node, baseName) == err_none;
}

GraphConfigNode *GraphQueryManager::constructNodeFromBase(const IGraphConfig *node, const std::string &baseName,
                                                          const IGraphConfig *nodes) const
try {
    if (node == nullptr || nodes == nullptr)
        return nullptr;
    const GraphConfigNode *definitions = GraphConfigNode::from(nodes);
    const std::string nodeName = node->getName();

    auto isBase = [&baseName](const GraphConfigItem *item) {
        const GraphConfigNode *candidate = nodeOf(item);
        std::string name;
        return tree::hasType(candidate, "base_node") && candidate->getValue(key_name, name) == err_none &&
               name == baseName;
    };

    // A loaded descriptor stores every node under the key of its name, so the
    // base node is normally found at once; the walk over all nodes remains for
    // trees built otherwise.
    const GraphConfigNode *base = nullptr;
    const KeyId baseKey = ItemUID::str2key(baseName);
    const auto named = definitions->children().equal_range(baseKey);
    for (auto it = named.first; it != named.second && base == nullptr; ++it) {
        if (isBase(it->second))
            base = static_cast<const GraphConfigNode *>(it->second);
    }
    for (auto it = definitions->begin(); it != definitions->end() && base == nullptr; ++it) {
        if (it->first != baseKey && isBase(it->second))
            base = static_cast<const GraphConfigNode *>(it->second);
    }
    if (base == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to find base node %s for node %s", baseName.c_str(),
                            nodeName.c_str());
        return nullptr;
    }

    UniqueNode copy(base->copy());
    if (!copy) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to copy base node %s to create node %s", baseName.c_str(),
                            nodeName.c_str());
        return nullptr;
    }
    if (copy->changeBaseNodeIntoNode(*const_cast<GraphConfigNode *>(GraphConfigNode::from(node))) != err_none) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to change base node %s into node %s", baseName.c_str(),
                            nodeName.c_str());
        return nullptr;
    }
    return copy.release();
} catch (const std::bad_alloc &) {
    return noMemory("constructNodeFromBase", nullptr);
}

status_t GraphQueryManager::propagateIntAttribute(const IGraphConfig *from, IGraphConfig *to, KeyId key) const
try {
    return propagateAttribute<int32_t>(from, to, key);
} catch (const std::bad_alloc &) {
    return noMemory("propagateIntAttribute");
}

status_t GraphQueryManager::propagateStrAttribute(const IGraphConfig *from, IGraphConfig *to, KeyId key) const
try {
    return propagateAttribute<std::string>(from, to, key);
} catch (const std::bad_alloc &) {
    return noMemory("propagateStrAttribute");
}

// --- sensor modes ------------------------------------------------------------------

status_t GraphQueryManager::addSensorModeData(GraphConfigNode *sensor, GraphConfigNode *sensorModes,
                                              const std::string &modeId)
try {
    if (sensor == nullptr || sensorModes == nullptr)
        return err_argument;
    status_t status = GraphQueryUtils::addDescendantsFromNode(sensor, sensorModes, GraphQueryUtils::kDeepMerge);
    if (status != err_none) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "couldn't add settings from sensor modes node");
        return status;
    }

    for (const auto &child : sensorModes->children()) {
        GraphConfigNode *mode = nodeOf(child.second);
        std::string name;
        if (mode == nullptr || mode->getValue(key_name, name) != err_none || name != modeId)
            continue;
        return GraphQueryUtils::addDescendantsFromNode(
            sensor, mode, GraphQueryUtils::kDeepMerge | GraphQueryUtils::kCopyMissingNodes);
    }
    ve_log_common_debug(VE_LOG_ERROR, kTag, "Sensor Mode %s not in the list of available modes", modeId.c_str());
    return err_data;
} catch (const std::bad_alloc &) {
    return noMemory("addSensorModeData");
}

}  // namespace Vorn
