// Result-graph construction: the descriptor nodes a graph connects, their
// connections as "peer" attributes, the settings on top, the graph's
// overrides, port pruning and the sensor-mode data.
#include <vorn/graph_query_manager.h>

#include <new>
#include <vector>

#include <ve_cipr/ve_log_common.h>
#include <vorn/graph_camera_util.h>
#include <vorn/graph_query_utils.h>

namespace Vorn {

namespace {

constexpr const char *kTag = "VORN[XOS]";

// Settings merge: copy missing nodes, feed output ports to their peers, deep merge.
constexpr int8_t kSettingsMergeFlags =
    GraphQueryUtils::kCopyMissingNodes | GraphQueryUtils::kFeedPeers | GraphQueryUtils::kDeepMerge;

GraphConfigNode *nodeOf(GraphConfigItem *item)
{
    return (item != nullptr && item->type == ItemType::NODE) ? static_cast<GraphConfigNode *>(item) : nullptr;
}

GraphConfigNode *childNode(const GraphConfigNode *node, KeyId key)
{
    GraphConfigNode *child = nullptr;
    return node->getDescendant(key, &child) == err_none ? child : nullptr;
}

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
    const status_t status = getGraph(GraphConfigNode::from(settings), root);
    *graph = root;
    return status;
}

void GraphQueryManager::destroyGraph(IGraphConfig *graph) const { delete graph; }

status_t GraphQueryManager::getGraph(GraphConfigNode *settings, GraphConfigNode *result)
{
    if (settings == nullptr || mDescriptor == nullptr || result == nullptr)
        return err_argument;
    const GraphConfigNode *descriptor = GraphConfigNode::from(mDescriptor);

    status_t status = settings->getValue(key_key, mSettingsKey);
    if (status != err_none)
        return status;
    status = result->addValue(key_key, mSettingsKey);
    if (status != err_none)
        return status;

    int32_t graphId = -1;
    status = settings->getValue(key_id, graphId);
    if (status != err_none)
        return status;

    // The graph element: the first child of "graphs" whose "id" matches.
    const GraphConfigNode *graphElement = nullptr;
    if (const GraphConfigNode *graphs = childNode(descriptor, key_graphs)) {
        for (const auto &child : graphs->children()) {
            const GraphConfigNode *candidate = nodeOf(child.second);
            int32_t id = 0;
            if (candidate != nullptr && candidate->getValue(key_id, id) == err_none && id == graphId) {
                graphElement = candidate;
                break;
            }
        }
    }
    if (graphElement == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "could not find graph with id %d from graph descriptor", graphId);
        return err_data;
    }

    UniqueNode graphCopy(graphElement->copy());
    if (!graphCopy) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Error creating GraphConfigNode: No memory");
        return err_nomemory;
    }
    std::string version;
    if (descriptor->getValue(key_version, version) != err_none)
        version.clear();
    if (graphCopy->addValue(key_version, version) != err_none) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to add GDF version info [%s]to graph", version.c_str());
        return err_nomemory;
    }
    status = result->adoptDescendant(std::move(graphCopy), key_graph);
    if (status != err_none)
        return status;

    // Connections, in the order of the descriptor's graph element.
    const auto connections = graphElement->children().equal_range(key_connection);
    for (auto it = connections.first; it != connections.second; ++it) {
        const GraphConfigNode *connection = nodeOf(it->second);
        if (connection == nullptr)
            continue;
        std::string source;
        std::string sink;
        std::string isStatic;
        status = connection->getValue(key_source, source);
        if (status != err_none) {
            ve_log_common_debug(VE_LOG_ERROR, kTag, "Error: connection element with no source");
            return status;
        }
        status = connection->getValue(key_sink, sink);
        if (status != err_none) {
            ve_log_common_debug(VE_LOG_ERROR, kTag, "Error: connection element with no sink");
            return status;
        }
        if (connection->getValue(key_static, isStatic) != err_none || isStatic == "false")
            status = getConnectionData(source, sink, settings, result);
        else
            status = getStaticConnectionData(source, sink, result);
        if (status != err_none)
            return status;
    }

    status = GraphQueryUtils::addDescendantsFromNode(result, settings, kSettingsMergeFlags);
    if (status != err_none) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to add settings to the result graph");
        return status;
    }

    status = GraphCameraUtil::processGraphOverrides(*graphElement, *result);
    if (status != err_none) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to process graph %d overrides", graphId);
        return status;
    }

    GraphQueryUtils::disableUnusedPorts(result);

    std::vector<IGraphConfig *> sources;
    if (GraphCameraUtil::getSourceNode(result, sources) != err_none || sources.empty())
        return err_data;

    GraphConfigNode *first = GraphConfigNode::from(sources.front());
    if (first->getUid() != key_sensor)
        return err_none;

    std::string modeId;
    status = first->getValue(key_mode_id, modeId);
    if (status != err_none) {
        ve_log_common_debug(VE_LOG_WARNING, kTag, "Sensor lacks mode_id. Failed to set sensor mode.");
        return status;
    }
    GraphConfigNode *sensorModes =
        mSettings != nullptr ? childNode(GraphConfigNode::from(mSettings), key_sensor_modes) : nullptr;
    if (sensorModes == nullptr) {
        ve_log_common_debug(VE_LOG_WARNING, kTag, "Settings file is missing sensor_modes");
        return err_general;
    }
    status = addSensorModeData(first, sensorModes, modeId);
    if (status != err_none) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Settings file has incorrect sensor mode data");
        return status;
    }
    return err_none;
}

// --- connections -------------------------------------------------------------------

status_t GraphQueryManager::getConnectionData(const std::string &sourceText, const std::string &sinkText,
                                              GraphConfigNode *settings, GraphConfigNode *result)
{
    if (result == nullptr || settings == nullptr)
        return err_argument;
    const GraphConfigNode *nodes = descriptorNodes(mDescriptor);
    if (nodes == nullptr)
        return err_general;

    const Endpoint source(sourceText);
    Endpoint sink(sinkText);
    std::string storedPeer = sinkText;

    const GraphConfigNode *settingsSource = childNode(settings, source.node);
    if (settingsSource == nullptr) {
        ve_log_common_debug(VE_LOG_WARNING, kTag, "WARNING: Node(%s) not found from settings(%d), ignoring connection.",
                            source.nodeName.c_str(), mSettingsKey);
        return err_none;
    }
    const GraphConfigNode *settingsItem = settingsSource;
    if (source.hasPort()) {
        settingsItem = source.port != 0 ? childNode(settingsSource, source.port) : nullptr;
        if (settingsItem == nullptr) {
            ve_log_common_debug(VE_LOG_WARNING, kTag, "WARNING: Node(%s) port %s not found from settings(%d).",
                                source.nodeName.c_str(), source.portName.c_str(), mSettingsKey);
            return err_none;
        }
    }

    GraphConfigNode *sourceNode = copyEndpointNode(*this, nodes, source, "src", result);
    if (sourceNode == nullptr)
        return err_general;

    int32_t enabled = 1;
    if (settingsItem->getValue(key_enabled, enabled) == err_none && enabled == 0) {
        ve_log_common_debug(VE_LOG_VERBOSE, kTag, "Source port %s disabled, skip destination and peer processing",
                            source.hasPort() ? source.portName.c_str() : source.nodeName.c_str());
        return err_none;
    }

    if (!sink.hasPort()) {
        std::string peer;
        if (settingsItem->getValue(key_peer, peer) == err_none) {
            ve_log_common_debug(VE_LOG_VERBOSE, kTag, "Overriding destination node %s with %s", sinkText.c_str(),
                                peer.c_str());
            sink.node = ItemUID::str2key(peer);
            sink.nodeName = peer;
            storedPeer = peer;
        } else {
            ve_log_common_debug(VE_LOG_VERBOSE, kTag, "Using default connection %s", sourceText.c_str());
        }
    }

    if (childNode(settings, sink.node) == nullptr) {
        ve_log_common_debug(VE_LOG_WARNING, kTag, "Skipping port %s:%s for not being active in settings.",
                            source.nodeName.c_str(), source.portName.c_str());
        return err_none;
    }

    GraphConfigNode *sinkNode = copyEndpointNode(*this, nodes, sink, "dst", result);
    if (sinkNode == nullptr)
        return err_general;

    GraphConfigNode *sourceEnd = nullptr;
    GraphConfigNode *sinkEnd = nullptr;
    status_t status = resolveEnds(sourceNode, source, sinkNode, sink, sourceEnd, sinkEnd);
    if (status != err_none)
        return status;
    if (!sink.hasPort()) {
        std::string type;
        status = sinkNode->getValue(key_type, type);
        if (status != err_none) {
            ve_log_common_debug(VE_LOG_ERROR, kTag, "No type for connected peer node");
            return status;
        }
        if (type != "sink") {
            ve_log_common_debug(VE_LOG_ERROR, kTag,
                                "sink connection attribute without port '%s' not pointing to virtual sink",
                                type.c_str());
            return err_general;
        }

        int32_t streamId = 0;
        if (sinkNode->getValue(key_stream_id, streamId) != err_none) {
            status = sourceNode->getValue(key_stream_id, streamId);
            if (status != err_none) {
                ve_log_common_debug(VE_LOG_ERROR, kTag, "No stream_id set for connected peer");
                return status;
            }
            status = sinkNode->addValue(key_stream_id, streamId);
            if (status != err_none) {
                ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to add stream ID to sink peer");
                return status;
            }
        }
    }

    return linkEndpoints(sourceEnd, source, sourceText, sinkEnd, sink, storedPeer);
}

status_t GraphQueryManager::getStaticConnectionData(const std::string &sourceText, const std::string &sinkText,
                                                    GraphConfigNode *result)
{
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
        // A virtual sink runs where its producer runs; a missing value is no failure.
        propagateIntAttribute(sourceNode, sinkNode, key_exec_ctx_id);
        propagateStrAttribute(sourceNode, sinkNode, key_content_type);
    }

    return linkEndpoints(sourceEnd, source, sourceText, sinkEnd, sink, sinkText);
}

// --- descriptor nodes ----------------------------------------------------------------

IGraphConfig *GraphQueryManager::copyNodeToResult(const IGraphConfig *nodes, KeyId key, GraphConfigNode *result)
{
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
}

bool GraphQueryManager::nodeHasBaseNode(const IGraphConfig &node, std::string &baseName) const
{
    return node.getValue(key_base_node, baseName) == err_none;
}

GraphConfigNode *GraphQueryManager::constructNodeFromBase(const IGraphConfig *node, const std::string &baseName,
                                                          const IGraphConfig *nodes) const
{
    if (node == nullptr || nodes == nullptr)
        return nullptr;
    const GraphConfigNode *definitions = GraphConfigNode::from(nodes);
    const std::string nodeName = node->getName();

    auto isBase = [&baseName](const GraphConfigItem *item) {
        const GraphConfigNode *candidate = nodeOf(const_cast<GraphConfigItem *>(item));
        std::string text;
        return candidate != nullptr && candidate->getValue(key_type, text) == err_none && text == "base_node" &&
               candidate->getValue(key_name, text) == err_none && text == baseName;
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
}

status_t GraphQueryManager::propagateIntAttribute(const IGraphConfig *from, IGraphConfig *to, KeyId key) const
{
    return propagateAttribute<int32_t>(from, to, key);
}

status_t GraphQueryManager::propagateStrAttribute(const IGraphConfig *from, IGraphConfig *to, KeyId key) const
{
    return propagateAttribute<std::string>(from, to, key);
}

// --- sensor modes ------------------------------------------------------------------

status_t GraphQueryManager::addSensorModeData(GraphConfigNode *sensor, GraphConfigNode *sensorModes,
                                              const std::string &modeId)
{
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
}

}  // namespace Vorn
