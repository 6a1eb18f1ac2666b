// Merging subtrees, peer lookup and pruning of unused pixel ports.
#include <vorn/graph_query_utils.h>

#include <new>
#include <string>

#include <ve_cipr/ve_log_common.h>
#include <vorn/graph_camera_util.h>

#include "log_tags.h"
#include "model/merge.h"
#include "model/tree.h"
#include "no_memory.h"
#include "query/pruning.h"

namespace Vorn {

namespace {
constexpr const char *kTag = kVornTag;

using tree::nodeOf;

// Disables the pixel ports of node that lead nowhere (see disableUnusedPorts).
status_t pruneNodePorts(const GraphConfigNode &node)
{
    for (const auto &portEntry : node.children()) {
        GraphConfigNode *port = nodeOf(portEntry.second);
        if (!tree::hasType(port, "port") || !tree::isPixelPort(port))
            continue;
        if (tree::intOr(port, key_private, 0) != 0 || tree::intOr(port, key_enabled, 1) == 0)
            continue;
        IGraphConfig *peer = nullptr;
        status_t status = GraphCameraUtil::portGetPeer(port, &peer);
        if (status == err_nomemory)
            return status;
        status = err_none;
        if (peer == nullptr) {
            ve_log_common_debug(VE_LOG_WARNING, kTag, "port %s has no peer, disabling it.", port->getName().c_str());
            status = GraphQueryUtils::disableNode(port);
        } else if (tree::intOr(peer, key_enabled, 1) == 0) {
            ve_log_common_debug(VE_LOG_WARNING, kTag, "peer disabled, disabling port %s", port->getName().c_str());
            status = GraphQueryUtils::disableNode(port);
        }
        if (status != err_none)
            return status;
    }
    return err_none;
}
}  // namespace

static_assert(GraphQueryUtils::kCopyMissingNodes == kMergeCopyMissingNodes &&
                  GraphQueryUtils::kApplyOptions == kMergeApplyOptions &&
                  GraphQueryUtils::kFeedPeers == kMergeFeedPeers && GraphQueryUtils::kDeepMerge == kMergeDeep,
              "the public merge flags are the tree's merge flags");

status_t GraphQueryUtils::addDescendantsFromNode(GraphConfigNode *target, GraphConfigNode *source, int8_t flags)
{
    return mergeTrees(target, source, flags);
}

GraphConfigNode *GraphQueryUtils::getPortPeer(const GraphConfigNode *port)
try {
    return tree::portPeer(port);
} catch (const std::bad_alloc &) {
    return noMemory("getPortPeer", nullptr);
}

status_t GraphQueryUtils::disableNode(GraphConfigNode *node)
try {
    if (node == nullptr)
        return err_none;
    GraphConfigItem *enabled = nullptr;
    if (node->getAttribute(key_enabled, &enabled) != err_none) {
        UniqueItem created(new (std::nothrow) GraphConfigIntAttribute());
        enabled = created.get();
        if (!created || node->adoptDescendant(std::move(created), key_enabled) != err_none) {
            ve_log_common_debug(VE_LOG_ERROR, kTag, "Error disabling %s: No memory", node->getName().c_str());
            return err_nomemory;
        }
    }
    enabled->setValue(0);
    return err_none;
} catch (const std::bad_alloc &) {
    return noMemory("disableNode");
}

void GraphQueryUtils::disableUnusedPorts(GraphConfigNode *root) { pruneUnusedPorts(root); }

status_t pruneUnusedPorts(GraphConfigNode *root)
try {
    ve_log_common_debug(VE_LOG_VERBOSE, kTag, "disableUnusedPorts");
    status_t status = err_none;
    if (root != nullptr) {
        for (auto it = root->begin(); it != root->end() && status == err_none; ++it) {
            if (const GraphConfigNode *node = nodeOf(it->second))
                status = pruneNodePorts(*node);
        }
    }
    ve_log_common_debug(VE_LOG_VERBOSE, kTag, "disableUnusedPorts done!");
    return status;
} catch (const std::bad_alloc &) {
    return noMemory("disableUnusedPorts");
}

}  // namespace Vorn
