// Merging one subtree into another.
#include "model/merge.h"

#include <new>
#include <string>
#include <utility>

#include <ve_cipr/ve_log_common.h>

#include "log_tags.h"
#include "model/tree.h"

namespace Vorn {

namespace {
constexpr const char *kTag = kVornTag;

// Merges follow the nesting of the source; a tree that nests deeper than any
// loaded document could is refused instead of exhausting the stack.
constexpr uint32_t kMaxMergeDepth = 2048;

bool isProtected(KeyId key)
{
    return key == key_name || key == key_peer || key == key_type || key == key_direction || key == key_id;
}

using tree::nodeOf;

status_t mergeNodes(GraphConfigNode *target, GraphConfigNode *source, int8_t flags, uint32_t depth);

// Sets or adds one attribute of the source in the target.
status_t mergeAttribute(GraphConfigNode *target, KeyId key, const GraphConfigItem *attribute, int8_t flags)
{
    const bool isInt = attribute->type == ItemType::INT;
    int32_t number = 0;
    std::string text;
    if (isInt ? attribute->getValue(number) != err_none : attribute->getValue(text) != err_none)
        return err_none;  // neither an integer nor a string attribute

    const bool overwrite = (flags & kMergeDeep) != 0 && !isProtected(key);
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

    if ((flags & kMergeApplyOptions) != 0) {
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
                            tree::printItem(source).c_str(), kMaxMergeDepth);
        return err_data;
    }

    for (const auto &child : source->children()) {
        const KeyId key = child.first;
        GraphConfigItem *item = child.second;
        GraphConfigNode *childNode = nodeOf(item);

        GraphConfigNode *existing = nullptr;
        if (target->getDescendant(key, &existing) == err_none) {
            if ((flags & kMergeDeep) != 0 && key != key_options && childNode != nullptr) {
                const status_t status = mergeNodes(existing, childNode, flags, depth + 1);
                if (status != err_none)
                    return status;
            }
            continue;
        }

        if (childNode != nullptr) {
            if ((flags & kMergeCopyMissingNodes) == 0)
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

    if ((flags & kMergeFeedPeers) != 0) {
        if (tree::isOutputPort(target)) {
            if (GraphConfigNode *peer = tree::portPeer(target)) {
                // A virtual sink only takes what it lacks; an ordinary peer
                // port takes every value that is not protected.
                const bool sink = tree::isVirtualSink(peer);
                const status_t status = mergeNodes(peer, target, sink ? kMergeCopyMissingNodes : kMergeDeep, depth + 1);
                if (status != err_none)
                    return status;
            }
        }
    }
    return err_none;
}
}  // namespace

status_t mergeTrees(GraphConfigNode *target, GraphConfigNode *source, int8_t flags)
{
    try {
        return mergeNodes(target, source, flags, 0);
    } catch (const std::bad_alloc &) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Error creating GraphConfigItem: No memory");
        return err_nomemory;
    }
}

}  // namespace Vorn
