// Merging one subtree into another.
#include "model/merge.h"

#include <new>
#include <string>
#include <utility>
#include <vector>

#include <ve_cipr/ve_log_common.h>

#include "log_tags.h"
#include "model/tree.h"

namespace Vorn {

namespace {
constexpr const char *kTag = kVornTag;

// Merges follow the nesting of the source, and an output port fed to its peer
// adds its own nesting below the port's level: a merge deeper than twice the
// nesting of any loaded document (VornParser::kMaxDepth) is refused.
constexpr uint32_t kMaxMergeDepth = 512;

bool isProtected(KeyId key)
{
    return key == key_name || key == key_peer || key == key_type || key == key_direction || key == key_id;
}

using tree::nodeOf;

// Sets or adds one attribute of the source in the target, whose first child
// under key is existing (null when it has none).
status_t mergeAttribute(GraphConfigNode *target, KeyId key, GraphConfigItem *existing, const GraphConfigItem *attribute,
                        int8_t flags)
{
    const bool isInt = attribute->type == ItemType::INT;
    int32_t number = 0;
    std::string text;
    if (isInt ? attribute->getValue(number) != err_none : attribute->getValue(text) != err_none)
        return err_none;  // neither an integer nor a string attribute

    const bool overwrite = (flags & kMergeDeep) != 0 && !isProtected(key);
    if (existing != nullptr) {
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

// One merge in progress: the children of source still to be laid over
// target, then (with kMergeFeedPeers) the feed of target to its peer.
struct MergeStep {
    GraphConfigNode *target;
    GraphConfigNode *source;
    int8_t flags;
    uint32_t depth;
    GraphConfigNode::const_iterator next;
    bool fed;
};

// The nested merges wait on an explicit stack, so the depth of a tree costs
// memory, never call stack.
using MergeStack = std::vector<MergeStep>;

// Starts merging source into target at depth.
status_t beginMerge(MergeStack &stack, GraphConfigNode *target, GraphConfigNode *source, int8_t flags, uint32_t depth)
{
    if (target == nullptr || source == nullptr)
        return err_argument;
    if (depth > kMaxMergeDepth) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Merge of %s nests deeper than %u levels",
                            tree::printItem(source).c_str(), kMaxMergeDepth);
        return err_data;
    }
    stack.push_back({target, source, flags, depth, source->begin(), false});
    return err_none;
}

// Lays one child of the source over the target: a node both have is merged
// in turn (deep merges, never under "options"), a node the target lacks is
// copied (kMergeCopyMissingNodes), an attribute is set or added.
status_t mergeChild(MergeStack &stack, MergeStep step, KeyId key, GraphConfigItem *item)
{
    GraphConfigNode *childNode = nodeOf(item);
    GraphConfigItem *present = nullptr;
    step.target->getAttribute(key, &present);
    if (GraphConfigNode *existing = nodeOf(present)) {
        if ((step.flags & kMergeDeep) != 0 && key != key_options && childNode != nullptr)
            return beginMerge(stack, existing, childNode, step.flags, step.depth + 1);
        return err_none;
    }
    if (childNode != nullptr) {
        if ((step.flags & kMergeCopyMissingNodes) == 0)
            return err_none;
        UniqueNode duplicate(childNode->copy());
        if (!duplicate || step.target->adoptDescendant(std::move(duplicate), key) != err_none) {
            ve_log_common_debug(VE_LOG_ERROR, kTag, "Error creating GraphConfigItem: No memory");
            return err_nomemory;
        }
        return err_none;
    }
    if (item->type == ItemType::INT || item->type == ItemType::STRING)
        return mergeAttribute(step.target, key, present, item, step.flags);
    return err_none;
}

// With kMergeFeedPeers, an output port's merged values go on to its peer: a
// virtual sink only takes what it lacks, an ordinary peer port every value
// that is not protected.
status_t feedPeer(MergeStack &stack, MergeStep step)
{
    if ((step.flags & kMergeFeedPeers) == 0 || !tree::isOutputPort(step.target))
        return err_none;
    GraphConfigNode *peer = tree::portPeer(step.target);
    if (peer == nullptr)
        return err_none;
    const int8_t flags = tree::isVirtualSink(peer) ? kMergeCopyMissingNodes : kMergeDeep;
    return beginMerge(stack, peer, step.target, flags, step.depth + 1);
}

// Merges source into target: each node's children in order, a nested merge
// completed before the next child, a node's feed to its peer after its
// children.
status_t mergeNodes(GraphConfigNode *target, GraphConfigNode *source, int8_t flags)
{
    MergeStack stack;
    status_t status = beginMerge(stack, target, source, flags, 0);
    while (status == err_none && !stack.empty()) {
        MergeStep &step = stack.back();
        if (step.next != step.source->end()) {
            const auto child = *step.next++;
            status = mergeChild(stack, step, child.first, child.second);
        } else if (!step.fed) {
            step.fed = true;
            status = feedPeer(stack, step);
        } else {
            stack.pop_back();
        }
    }
    return status;
}
}  // namespace

status_t mergeTrees(GraphConfigNode *target, GraphConfigNode *source, int8_t flags)
{
    try {
        return mergeNodes(target, source, flags);
    } catch (const std::bad_alloc &) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Error creating GraphConfigItem: No memory");
        return err_nomemory;
    }
}

}  // namespace Vorn
