// Merging subtrees, peer lookup and pruning of unused pixel ports.
#include <vorn/graph_query_utils.h>

#include <new>
#include <string>

#include <ve_cipr/ve_log_common.h>
#include <vorn/graph_camera_util.h>

#include "model/item_cast.h"

namespace Vorn {

namespace {
constexpr const char *kTag = "VORN[XOS]";

// Merges follow the nesting of the source; a tree that nests deeper than any
// loaded document could is refused instead of exhausting the stack.
constexpr uint32_t kMaxMergeDepth = 2048;

bool isProtected(KeyId key)
{
    return key == key_name || key == key_peer || key == key_type || key == key_direction || key == key_id;
}

GraphConfigNode *nodeOf(GraphConfigItem *item)
{
    return detail::asNode(item);
}

bool isIntFlagSet(const GraphConfigNode *node, KeyId key, bool whenZero)
{
    int32_t value = 0;
    return node->getValue(key, value) == err_none && (whenZero ? value == 0 : value != 0);
}

status_t mergeNodes(GraphConfigNode *target, GraphConfigNode *source, int8_t flags, uint32_t depth);

// Sets or adds one attribute of the source in the target.
status_t mergeAttribute(GraphConfigNode *target, KeyId key, const GraphConfigItem *attribute, int8_t flags)
{
    const bool isInt = attribute->type == ItemType::INT;
    int32_t number = 0;
    std::string text;
    if (isInt ? attribute->getValue(number) != err_none : attribute->getValue(text) != err_none)
        return err_none;  // neither an integer nor a string attribute

    const bool overwrite = (flags & GraphQueryUtils::kDeepMerge) != 0 && !isProtected(key);
    GraphConfigItem *existing = nullptr;
    if (target->getAttribute(key, &existing) == err_none) {
        if (!overwrite)
            return err_none;
        if (isInt)
            existing->setValue(number);
        else
            existing->setValue(text);
    } else {
        const status_t status = isInt ? target->addValue(key, number) : target->addValue(key, text);
        if (status != err_none) {
            ve_log_common_debug(VE_LOG_ERROR, kTag, "Error adding %s: No memory", ItemUID::key2str(key));
            return err_nomemory;
        }
    }

    if ((flags & GraphQueryUtils::kApplyOptions) != 0) {
        const status_t status =
            GraphConfigNode::handleAttributeOptions(target, key, isInt ? std::to_string(number) : text);
        if (status != err_none && status != err_noentry)
            return status;
    }
    return err_none;
}

status_t mergeNodes(GraphConfigNode *target, GraphConfigNode *source, int8_t flags, uint32_t depth)
{
    if (target == nullptr || source == nullptr)
        return err_argument;
    if (depth > kMaxMergeDepth) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Merge of %s nests deeper than %u levels",
                            GraphCameraUtil::print(source).c_str(), kMaxMergeDepth);
        return err_data;
    }

    for (const auto &child : source->children()) {
        const KeyId key = child.first;
        GraphConfigItem *item = child.second;
        GraphConfigNode *childNode = nodeOf(item);

        GraphConfigNode *existing = nullptr;
        if (target->getDescendant(key, &existing) == err_none) {
            if ((flags & GraphQueryUtils::kDeepMerge) != 0 && key != key_options && childNode != nullptr) {
                const status_t status = mergeNodes(existing, childNode, flags, depth + 1);
                if (status != err_none)
                    return status;
            }
            continue;
        }

        if (childNode != nullptr) {
            if ((flags & GraphQueryUtils::kCopyMissingNodes) == 0)
                continue;
            UniqueNode duplicate(childNode->copy());
            if (!duplicate || target->adoptDescendant(std::move(duplicate), key) != err_none) {
                ve_log_common_debug(VE_LOG_ERROR, kTag, "Error creating GraphConfigItem: No memory");
                return err_nomemory;
            }
            continue;
        }

        if (item->type == ItemType::INT || item->type == ItemType::STRING) {
            const status_t status = mergeAttribute(target, key, item, flags);
            if (status != err_none)
                return status;
        }
    }

    if ((flags & GraphQueryUtils::kFeedPeers) != 0) {
        int32_t direction = 0;
        if (target->getValue(key_direction, direction) == err_none && direction == 1) {
            if (GraphConfigNode *peer = GraphQueryUtils::getPortPeer(target)) {
                std::string type;
                // A virtual sink only takes what it lacks; an ordinary peer
                // port takes every value that is not protected.
                const bool sink = peer->getValue(key_type, type) == err_none && type == "sink";
                const status_t status = mergeNodes(peer, target, sink ? GraphQueryUtils::kCopyMissingNodes
                                                                      : GraphQueryUtils::kDeepMerge,
                                                   depth + 1);
                if (status != err_none)
                    return status;
            }
        }
    }
    return err_none;
}
}  // namespace

status_t GraphQueryUtils::addDescendantsFromNode(GraphConfigNode *target, GraphConfigNode *source, int8_t flags)
{
    try {
        return mergeNodes(target, source, flags, 0);
    } catch (const std::bad_alloc &) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Error creating GraphConfigItem: No memory");
        return err_nomemory;
    }
}

GraphConfigNode *GraphQueryUtils::getPortPeer(const GraphConfigNode *port)
{
    if (port == nullptr)
        return nullptr;
    std::string peerName;
    if (port->getValue(key_peer, peerName) != err_none)
        return nullptr;
    const GraphConfigNode *root = port->getRootNode();
    const size_t colon = peerName.find(':');
    GraphConfigNode *node = nullptr;
    if (colon == std::string::npos)
        return root->getDescendant(ItemUID::str2key(peerName), &node) == err_none ? node : nullptr;
    if (root->getDescendant(ItemUID::str2key(peerName.substr(0, colon)), &node) != err_none)
        return nullptr;
    GraphConfigNode *peer = nullptr;
    return node->getDescendant(ItemUID::str2key(peerName.substr(colon + 1)), &peer) == err_none ? peer : nullptr;
}

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
            std::string type;
            if (port == nullptr || port->getValue(key_type, type) != err_none || type != "port")
                continue;
            if (GraphCameraUtil::portGetContentType(port) != "pixel_data")
                continue;
            if (isIntFlagSet(port, key_private, false) || isIntFlagSet(port, key_enabled, true))
                continue;
            IGraphConfig *peer = nullptr;
            if (GraphCameraUtil::portGetPeer(port, &peer) != err_none || peer == nullptr) {
                ve_log_common_debug(VE_LOG_WARNING, kTag, "port %s has no peer, disabling it.",
                                    port->getName().c_str());
                disableNode(port);
            } else if (isIntFlagSet(GraphConfigNode::from(peer), key_enabled, true)) {
                ve_log_common_debug(VE_LOG_WARNING, kTag, "peer disabled, disabling port %s", port->getName().c_str());
                disableNode(port);
            }
        }
    }
    ve_log_common_debug(VE_LOG_VERBOSE, kTag, "disableUnusedPorts done!");
}

}  // namespace Vorn
