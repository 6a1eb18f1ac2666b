// Merging subtrees, peer lookup and pruning of unused pixel ports.
#include <vorn/graph_query_utils.h>

#include <string>

#include <ve_cipr/ve_log_common.h>
#include <vorn/graph_camera_util.h>

#include "log_tags.h"
#include "model/merge.h"
#include "model/tree.h"

namespace Vorn {

namespace {
constexpr const char *kTag = kVornTag;

using tree::nodeOf;

}  // namespace

static_assert(GraphQueryUtils::kCopyMissingNodes == kMergeCopyMissingNodes &&
                  GraphQueryUtils::kApplyOptions == kMergeApplyOptions &&
                  GraphQueryUtils::kFeedPeers == kMergeFeedPeers && GraphQueryUtils::kDeepMerge == kMergeDeep,
              "the public merge flags are the tree's merge flags");

status_t GraphQueryUtils::addDescendantsFromNode(GraphConfigNode *target, GraphConfigNode *source, int8_t flags)
{
    return mergeTrees(target, source, flags);
}

GraphConfigNode *GraphQueryUtils::getPortPeer(const GraphConfigNode *port) { return tree::portPeer(port); }

status_t GraphQueryUtils::disableNode(GraphConfigNode *node)
{
    if (node == nullptr)
        return err_none;
    GraphConfigItem *enabled = nullptr;
    if (node->getAttribute(key_enabled, &enabled) != err_none) {
        UniqueItem created(new (std::nothrow) GraphConfigIntAttribute());
        enabled = created.get();
        if (!created || node->adoptDescendant(std::move(created), key_enabled) != err_none)
            return err_none;
    }
    enabled->setValue(0);
    return err_none;
}

void GraphQueryUtils::disableUnusedPorts(GraphConfigNode *root)
{
    ve_log_common_debug(VE_LOG_VERBOSE, kTag, "disableUnusedPorts");
    if (root == nullptr) {
        ve_log_common_debug(VE_LOG_VERBOSE, kTag, "disableUnusedPorts done!");
        return;
    }
    for (const auto &entry : root->children()) {
        const GraphConfigNode *node = nodeOf(entry.second);
        if (node == nullptr)
            continue;
        for (const auto &portEntry : node->children()) {
            GraphConfigNode *port = nodeOf(portEntry.second);
            if (!tree::hasType(port, "port") || !tree::isPixelPort(port))
                continue;
            if (tree::intOr(port, key_private, 0) != 0 || tree::intOr(port, key_enabled, 1) == 0)
                continue;
            IGraphConfig *peer = nullptr;
            if (GraphCameraUtil::portGetPeer(port, &peer) != err_none || peer == nullptr) {
                ve_log_common_debug(VE_LOG_WARNING, kTag, "port %s has no peer, disabling it.",
                                    port->getName().c_str());
                disableNode(port);
            } else if (tree::intOr(peer, key_enabled, 1) == 0) {
                ve_log_common_debug(VE_LOG_WARNING, kTag, "peer disabled, disabling port %s", port->getName().c_str());
                disableNode(port);
            }
        }
    }
    ve_log_common_debug(VE_LOG_VERBOSE, kTag, "disableUnusedPorts done!");
}

}  // namespace Vorn
