// Execution contexts, sources, sinks and subgraph ports of a result graph.
#include <vorn/graph_camera_util.h>

#include <cstdint>
#include <set>

#include <ve_cipr/ve_log_common.h>

#include "camera/subgraph_ports.h"
#include "log_tags.h"
#include "model/tree.h"
#include "no_memory.h"

namespace Vorn {

namespace {
constexpr const char *kTag = kVornTag;

using tree::forEachChildOfType;
using tree::hasType;
using tree::isVirtualSink;

// Adds port to ports unless it is already there.
void addOnce(std::vector<IGraphConfig *> &ports, std::set<const IGraphConfig *> &seen, IGraphConfig *port)
{
    if (seen.insert(port).second)
        ports.push_back(port);
}
// Records the connection of one port of a program group running in context
// when it crosses into or out of that context: an input fed from another
// context (and, for pixels from a source or hardware, the graph input), or
// an output at the edge leading to a virtual sink (and, for pixels, the
// graph output). err_data when the peer has no owner.
status_t addContextCrossing(IGraphConfig *port, int32_t context,
                            std::vector<std::pair<std::string, std::string>> &connections,
                            std::vector<std::string> &inputs, std::vector<std::string> &outputs)
{
    IGraphConfig *peer = nullptr;
    const std::string peerText = tree::textOr(port, key_peer, "");
    if (GraphCameraUtil::portGetPeer(port, &peer) != err_none || peer == nullptr) {
        ve_log_common_debug(VE_LOG_VERBOSE, kTag, "%s: no peer", "getExecCtxConnectionPorts");
        return err_none;
    }
    const bool edge = GraphCameraUtil::isEdgePort(port);
    const bool pixelData = tree::isPixelPort(port);
    const std::string fullName = GraphCameraUtil::getFullName(*port);

    const int32_t direction = GraphCameraUtil::portGetDirection(port);
    if (direction == 0) {
        const IGraphConfig *peerNode = peer->getAncestor();
        if (peerNode == nullptr) {
            ve_log_common_debug(VE_LOG_ERROR, kTag, "ancestor of %s is null", GraphCameraUtil::print(peer).c_str());
            return err_data;
        }
        int32_t peerContext = -1;
        if (peerNode->getValue(key_exec_ctx_id, peerContext) != err_none) {
            ve_log_common_debug(VE_LOG_VERBOSE, kTag, "No Execution Contex for ancestor of %s",
                                GraphCameraUtil::print(peer).c_str());
            return err_none;
        }
        if (peerContext == context)
            return err_none;
        connections.emplace_back(peerText, fullName);
        if (pixelData && (hasType(peerNode, "source") || hasType(peerNode, "hw")))
            inputs.push_back(peerText);
    } else if (direction == 1 && edge && isVirtualSink(peer)) {
        connections.emplace_back(fullName, peerText);
        if (pixelData)
            outputs.push_back(peerText);
    }
    return err_none;
}
}  // namespace

status_t GraphCameraUtil::getExecCtxIds(const IGraphConfig &graph, std::set<int32_t> &ids)
try {
    status_t result = err_none;
    forEachChildOfType(graph, key_program_group, [&](IGraphConfig *programGroup) {
        int32_t id = -1;
        const status_t status = programGroup->getValue(key_exec_ctx_id, id);
        if (status == err_none)
            ids.insert(id);
        else if (result == err_none)
            result = status;
    });
    return result;
} catch (const std::bad_alloc &) {
    return noMemory("getExecCtxIds");
}

status_t GraphCameraUtil::getExecCtxIdsTuningMap(const IGraphConfig &graph, std::map<int32_t, int32_t> &tuningModes)
try {
    status_t result = err_none;
    forEachChildOfType(graph, key_program_group, [&](IGraphConfig *programGroup) {
        int32_t context = -1;
        const status_t status = programGroup->getValue(key_exec_ctx_id, context);
        if (status != err_none) {
            ve_log_common_debug(VE_LOG_VERBOSE, kTag, "Failed to get exec ctx ID");
            if (result == err_none)
                result = status;
            return;
        }
        int32_t tuningMode = -1;
        if (programGroup->getValue(key_tuning_mode, tuningMode) != err_none) {
            ve_log_common_debug(VE_LOG_VERBOSE, kTag, "Failed to get tuning mode");
            tuningMode = -1;
        }
        const auto inserted = tuningModes.emplace(context, tuningMode);
        if (!inserted.second && inserted.first->second != tuningMode) {
            ve_log_common_debug(VE_LOG_WARNING, kTag,
                                "Mismatch in tuning mode (%d vs %d) for same execution Context %d!!!"
                                "                            Discard current tuning Mode",
                                inserted.first->second, tuningMode, context);
        }
    });
    return result;
} catch (const std::bad_alloc &) {
    return noMemory("getExecCtxIdsTuningMap");
}

status_t GraphCameraUtil::getExecCtxConnectionPorts(const IGraphConfig *graph,
                                                    std::vector<std::pair<std::string, std::string>> &connections,
                                                    std::vector<std::string> &inputs, std::vector<std::string> &outputs)
try {
    if (graph == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "NULL pointer given");
        return err_argument;
    }
    const size_t connectionsBefore = connections.size();
    status_t status = err_none;
    forEachChildOfType(*graph, key_program_group, [&](IGraphConfig *programGroup) {
        const int32_t context = tree::intOr(programGroup, key_exec_ctx_id, -1);
        forEachChildOfType(*programGroup, key_port, [&](IGraphConfig *port) {
            status = addContextCrossing(port, context, connections, inputs, outputs);
            return status == err_none;
        });
        return status == err_none;
    });
    if (status != err_none)
        return status;
    return connections.size() == connectionsBefore ? err_argument : err_none;
} catch (const std::bad_alloc &) {
    return noMemory("getExecCtxConnectionPorts");
}

status_t GraphCameraUtil::getSourceNode(const IGraphConfig *graph, std::vector<IGraphConfig *> &sources)
try {
    if (graph == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Null pointer given");
        return err_argument;
    }
    const IGraphConfig *root = graph->getRoot();
    if (root == nullptr)
        root = graph;
    size_t found = 0;
    forEachChildOfType(*root, key_source, [&](IGraphConfig *source) {
        int32_t enabled = 1;
        if (source->getValue(key_enabled, enabled) == err_none && enabled == 0)
            return;
        sources.push_back(source);
        ++found;
    });
    if (found == 0) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "ERROR: No active sources. Check that node with type source exists");
        return err_argument;
    }
    ve_log_common_debug(VE_LOG_VERBOSE, kTag, "Found %zu active sources from the descriptor.", found);
    return err_none;
} catch (const std::bad_alloc &) {
    return noMemory("getSourceNode");
}

status_t GraphCameraUtil::getProgramGroups(KeyId key, int32_t value, const IGraphConfig *graph,
                                           std::vector<IGraphConfig *> &programGroups)
try {
    if (graph == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "NULL pointer given");
        return err_argument;
    }
    size_t found = 0;
    forEachChildOfType(*graph, key_program_group, [&](IGraphConfig *programGroup) {
        int32_t id = -1;
        if (programGroup->getValue(key, id) != err_none)
            id = -1;
        if (id == value) {
            programGroups.push_back(programGroup);
            ++found;
        }
    });
    if (found == 0) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to find any PG's for %s id %d BUG(check graph config file)",
                            ItemUID::key2str(key), value);
        return err_general;
    }
    return err_none;
} catch (const std::bad_alloc &) {
    return noMemory("getProgramGroups");
}

status_t GraphCameraUtil::graphGetSinksByName(const std::string &name, const IGraphConfig *graph,
                                              std::vector<IGraphConfig *> &sinks)
try {
    if (graph == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "given graph config handle is null");
        return err_argument;
    }
    const IGraphConfig *root = graph->getRoot();
    if (root == nullptr)
        root = graph;
    size_t found = 0;
    forEachChildOfType(*root, key_sink, [&](IGraphConfig *sink) {
        if (!name.empty()) {
            std::string sinkName;
            if (sink->getValue(key_name, sinkName) != err_none || sinkName.find(name) == std::string::npos)
                return;
        }
        sinks.push_back(sink);
        ++found;
    });
    if (found == 0) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to find any sinks -check graph config file");
        return err_noentry;
    }
    return err_none;
} catch (const std::bad_alloc &) {
    return noMemory("graphGetSinksByName");
}

void appendSubgraphPortsOf(const IGraphConfig &node, KeyId key, int32_t value, int32_t direction, KeyId nodeType,
                           std::vector<IGraphConfig *> &ports)
{
    const char *keyName = ItemUID::key2str(key);
    int32_t nodeValue = -1;
    if (node.getValue(key, nodeValue) != err_none || nodeValue != value)
        return;
    forEachChildOfType(node, key_port, [&](IGraphConfig *port) {
        if (GraphCameraUtil::portGetDirection(port) != direction)
            return;
        IGraphConfig *peer = nullptr;
        if (GraphCameraUtil::portGetPeer(port, &peer) != err_none || peer == nullptr) {
            ve_log_common_debug(VE_LOG_VERBOSE, kTag, "%s: no peer found for port %s", "getSubgraphPorts",
                                port->getName().c_str());
            ports.push_back(port);
            return;
        }
        ve_log_common_debug(VE_LOG_VERBOSE, kTag, "%s: peer for %s is %s", "getSubgraphPorts", port->getName().c_str(),
                            peer->getName().c_str());
        if (direction == 1 && isVirtualSink(peer)) {
            ports.push_back(port);
            return;
        }
        const IGraphConfig *peerNode = peer->getAncestor();
        if (!hasType(peerNode, nodeType)) {
            ports.push_back(port);
            return;
        }
        int32_t peerValue = -1;
        if (peerNode->getValue(key, peerValue) != err_none) {
            ve_log_common_debug(VE_LOG_VERBOSE, kTag, "%s: no %s for peer %s", "getSubgraphPorts", keyName,
                                GraphCameraUtil::print(peer).c_str());
            return;
        }
        if (peerValue != value)
            ports.push_back(port);
    });
}

status_t firstPortWithPeer(const std::vector<IGraphConfig *> &ports, IGraphConfig **port)
{
    status_t status = err_argument;
    for (IGraphConfig *candidate : ports) {
        IGraphConfig *peer = nullptr;
        status = GraphCameraUtil::portGetPeer(candidate, &peer);
        if (status == err_none) {
            *port = candidate;
            return err_none;
        }
    }
    return status;
}

namespace {

// Nodes of type nodeType among the direct children of graph whose integer
// key reads as value, in child order.
std::vector<IGraphConfig *> subgraphMembers(KeyId key, int32_t value, const IGraphConfig &graph, KeyId nodeType)
{
    std::vector<IGraphConfig *> members;
    forEachChildOfType(graph, nodeType, [&](IGraphConfig *node) {
        int32_t nodeValue = -1;
        if (node->getValue(key, nodeValue) == err_none && nodeValue == value)
            members.push_back(node);
    });
    return members;
}

std::vector<IGraphConfig *> sourcesOf(const IGraphConfig &graph)
{
    std::vector<IGraphConfig *> sources;
    forEachChildOfType(graph, key_source, [&](IGraphConfig *source) { sources.push_back(source); });
    return sources;
}

}  // namespace

status_t GraphCameraUtil::getSubgraphPorts(KeyId key, int32_t value, int32_t direction, const IGraphConfig &graph,
                                           std::vector<IGraphConfig *> &ports, KeyId nodeType)
try {
    return getSubgraphPortsOf(subgraphMembers(key, value, graph, nodeType), key, value, direction, ports, nodeType);
} catch (const std::bad_alloc &) {
    return noMemory("getSubgraphPorts");
}

status_t GraphCameraUtil::getSubgraphPortsOf(const std::vector<IGraphConfig *> &members, KeyId key, int32_t value,
                                             int32_t direction, std::vector<IGraphConfig *> &ports, KeyId nodeType)
try {
    ports.clear();
    for (IGraphConfig *node : members)
        appendSubgraphPortsOf(*node, key, value, direction, nodeType, ports);
    return ports.empty() ? err_argument : err_none;
} catch (const std::bad_alloc &) {
    return noMemory("getSubgraphPortsOf");
}

status_t GraphCameraUtil::getInputPorts(KeyId key, int32_t value, const IGraphConfig &graph,
                                        std::vector<IGraphConfig *> &ports, KeyId nodeType)
try {
    return getSubgraphPorts(key, value, 0, graph, ports, nodeType);
} catch (const std::bad_alloc &) {
    return noMemory("getInputPorts");
}

status_t GraphCameraUtil::getOutputPorts(KeyId key, int32_t value, const IGraphConfig &graph,
                                         std::vector<IGraphConfig *> &ports, KeyId nodeType)
try {
    if (getSubgraphPorts(key, value, 1, graph, ports, nodeType) == err_none)
        return err_none;
    return getOutputPortsOf({}, sourcesOf(graph), key, value, ports, nodeType);
} catch (const std::bad_alloc &) {
    return noMemory("getOutputPorts");
}

status_t GraphCameraUtil::getOutputPortsOf(const std::vector<IGraphConfig *> &members,
                                           const std::vector<IGraphConfig *> &sources, KeyId key, int32_t value,
                                           std::vector<IGraphConfig *> &ports, KeyId nodeType)
try {
    if (getSubgraphPortsOf(members, key, value, 1, ports, nodeType) == err_none)
        return err_none;

    // No output of its own: the subgraph's results leave through the source
    // ports that lead into another subgraph.
    std::set<const IGraphConfig *> seen;
    for (IGraphConfig *source : sources) {
        forEachChildOfType(*source, key_port, [&](IGraphConfig *port) {
            IGraphConfig *peer = nullptr;
            if (portGetPeer(port, &peer) != err_none || peer == nullptr) {
                ve_log_common_debug(VE_LOG_VERBOSE, kTag,
                                    "Source port %s has no peer found. Added to list of subgraph output ports",
                                    port->getName().c_str());
                addOnce(ports, seen, port);
                return;
            }
            IGraphConfig *peerNode = peer->getAncestor();
            if (peerNode == nullptr)
                return;
            if (!hasType(peerNode, nodeType)) {
                forEachChildOfType(*peerNode, key_port, [&](IGraphConfig *peerPort) {
                    if (tree::isOutputPort(peerPort))
                        addOnce(ports, seen, peerPort);
                });
                return;
            }
            int32_t peerValue = -1;
            if (peerNode->getValue(key, peerValue) != err_none) {
                ve_log_common_debug(VE_LOG_WARNING, kTag, "PG %s does not have stream id or exec ctx- FIX it!",
                                    peerNode->getName().c_str());
                return;
            }
            if (peerValue != value) {
                ve_log_common_debug(VE_LOG_VERBOSE, kTag, "Source port %s crosses Subgraph boundary (%d)->(%d)",
                                    port->getName().c_str(), value, peerValue);
                addOnce(ports, seen, port);
            }
        });
    }
    return ports.empty() ? err_argument : err_none;
} catch (const std::bad_alloc &) {
    return noMemory("getOutputPortsOf");
}

status_t GraphCameraUtil::getInputPort(KeyId key, int32_t value, const IGraphConfig *graph, IGraphConfig **port,
                                       KeyId nodeType)
try {
    if (graph == nullptr || port == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "NULL pointer given");
        return err_argument;
    }
    std::vector<IGraphConfig *> inputs;
    status_t status = getSubgraphPorts(key, value, 0, *graph, inputs, nodeType);
    if (status != err_none)
        return status;
    return firstPortWithPeer(inputs, port);
} catch (const std::bad_alloc &) {
    return noMemory("getInputPort");
}

}  // namespace Vorn
