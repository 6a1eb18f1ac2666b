// Ports, peers, streams and execution contexts of single ports of a result
// graph, and the item texts and dumps of the camera utilities.
#include <vorn/graph_camera_util.h>

#include <ve_cipr/ve_log_common.h>

#include "log_tags.h"
#include "model/tree.h"
#include "no_memory.h"

namespace Vorn {

status_t getPgAndPortNames(const IGraphConfig *item, std::string &pgName, std::string &portName)
{
    return tree::pgAndPortNames(item, pgName, portName);
}

std::string GraphCameraUtil::getFullName(const IGraphConfig &item) { return tree::fullName(item); }

std::string GraphCameraUtil::print(const IGraphConfig *item) { return tree::printItem(item); }

void GraphCameraUtil::dumpNodeTree(const IGraphConfig *node, int32_t depth)
{
    if (node != nullptr)
        GraphConfigNode::dumpNodeTree(GraphConfigNode::from(node), depth);
}

namespace {
constexpr const char *kTag = kVornTag;

using tree::hasType;

}  // namespace

IGraphConfig *GraphCameraUtil::nodeGetPortById(const IGraphConfig *node, int32_t id)
try {
    if (node == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Couldn't get port. Node is NULL");
        return nullptr;
    }
    IGraphConfig *found = nullptr;
    tree::forEachChildOfType(*node, key_port, [&](IGraphConfig *port) {
        int32_t portId = 0;
        if (port->getValue(key_id, portId) == err_none && portId == id)
            found = port;
        return found == nullptr;
    });
    return found;
} catch (const std::bad_alloc &) {
    return noMemory("nodeGetPortById", nullptr);
}

int32_t GraphCameraUtil::portGetDirection(const IGraphConfig *port)
{
    int32_t direction = 0;
    if (port == nullptr || port->getValue(key_direction, direction) != err_none) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to retrieve port direction, default to input");
        return 0;
    }
    return direction;
}

int32_t GraphCameraUtil::portGetKey(const IGraphConfig *port, KeyId key)
try {
    if (port == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Invalid Node, cannot get the port execCtx id");
        return -1;
    }
    std::string type;
    if (tree::readOrLog(port, key_type, type, kTag, "Failed to get Node Type") != err_none)
        return -1;
    const IGraphConfig *owner = port;
    if (!tree::isVirtualSink(port)) {
        owner = port->getAncestor();
        if (owner == nullptr) {
            ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to get port's ancestor");
            return -1;
        }
    }
    int32_t value = -1;
    return owner->getValue(key, value) == err_none ? value : -1;
} catch (const std::bad_alloc &) {
    return noMemory("portGetKey", -1);
}

int32_t GraphCameraUtil::portGetExecCtxId(const IGraphConfig *port) { return portGetKey(port, key_exec_ctx_id); }

int32_t GraphCameraUtil::portGetStreamId(const IGraphConfig *port)
try {
    const int32_t streamId = portGetKey(port, key_stream_id);
    if (streamId < 0)
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to get %s for port %s", "stream_id", print(port).c_str());
    return streamId;
} catch (const std::bad_alloc &) {
    return noMemory("portGetStreamId", -1);
}

std::string GraphCameraUtil::portGetContentType(const IGraphConfig *port)
{
    return tree::textOr(port, key_content_type, "pixel_data");
}

status_t GraphCameraUtil::portGetPeer(const IGraphConfig *port, IGraphConfig **peer)
try {
    if (port == nullptr || peer == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Invalid Node, cannot get the peer port");
        return err_argument;
    }
    int32_t flag = 0;
    if (port->getValue(key_enabled, flag) == err_none && flag == 0)
        return err_noentry;
    if (port->getValue(key_private, flag) == err_none && flag != 0)
        return err_noentry;
    const IGraphConfig *root = port->getRoot();
    if (root == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to get root");
        return err_internal;
    }
    std::string peerName;
    if (port->getValue(key_peer, peerName) != err_none) {
        ve_log_common_debug(VE_LOG_VERBOSE, kTag, "Couldn't find peer value for %s", print(port).c_str());
        return err_argument;
    }
    *peer = root->getDescendantByString(peerName);
    if (*peer == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to find peer by name %s", peerName.c_str());
        return err_argument;
    }
    return err_none;
} catch (const std::bad_alloc &) {
    return noMemory("portGetPeer");
}

bool GraphCameraUtil::portIsVirtual(const IGraphConfig *port)
try {
    if (port == nullptr)
        return false;
    std::string type;
    if (port->getValue(key_type, type) != err_none) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to retrieve port(%s) type, default to input",
                            print(port).c_str());
        return false;
    }
    return tree::isVirtualSink(port);
} catch (const std::bad_alloc &) {
    return noMemory("portIsVirtual", false);
}

bool GraphCameraUtil::isEdgePort(const IGraphConfig *port)
try {
    const int32_t direction = portGetDirection(port);
    IGraphConfig *peer = nullptr;
    const status_t status = portGetPeer(port, &peer);
    if (status == err_noentry)
        return false;
    if (status != err_none) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to create fourcc info for source port");
        return false;
    }
    int32_t context = portGetExecCtxId(port);
    if (context < 0)
        context = portGetStreamId(port);
    if (context < 0)
        return false;
    if (portIsVirtual(peer))
        return true;

    const IGraphConfig *peerNode = peer->getAncestor();
    if (peerNode == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to get peer's ancestor");
        return false;
    }
    int32_t peerContext = -1;
    if (peerNode->getValue(key_exec_ctx_id, peerContext) != err_none &&
        peerNode->getValue(key_stream_id, peerContext) != err_none) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to get stream ID of peer PG %s", print(peerNode).c_str());
        return false;
    }
    if (peerContext != context)
        return true;
    // Same context: an input fed straight by hardware or a source still
    // enters the context from outside.
    return direction == 0 && (hasType(peerNode, "hw") || hasType(peerNode, "source"));
} catch (const std::bad_alloc &) {
    return noMemory("isEdgePort", false);
}

}  // namespace Vorn
