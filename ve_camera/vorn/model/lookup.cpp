// Path lookups, the walk to the top of a tree, deprecated positional lookups
// and NodeIterator.
#include <vorn/graph_config.h>

#include "log_tags.h"
#include "model/tree.h"

#include <iterator>
#include <type_traits>
#include <typeinfo>

#include <ve_cipr/ve_log_common.h>

namespace Vorn {

namespace {
constexpr const char *kTag = kVornTag;

using tree::nodeOf;
}  // namespace

status_t GraphConfigNode::getDescendant(KeyId key, GraphConfigNode **out) const
{
    if (out == nullptr)
        return err_argument;
    GraphConfigItem *item = nullptr;
    if (getAttribute(key, &item) != err_none) {
        *out = nullptr;
        return err_general;
    }
    GraphConfigNode *node = nodeOf(item);
    if (node == nullptr)
        return err_argument;
    *out = node;
    return err_none;
}

IGraphConfig *GraphConfigNode::getDescendant(KeyId key) const
{
    GraphConfigNode *node = nullptr;
    return getDescendant(key, &node) == err_none ? node : nullptr;
}

const GraphConfigNode *GraphConfigNode::walk(const ItemUID &uid, size_t &steps) const
{
    const GraphConfigNode *current = this;
    steps = 0;
    for (KeyId key : uid) {
        GraphConfigNode *next = nullptr;
        if (current->getDescendant(key, &next) != err_none)
            break;
        current = next;
        ++steps;
    }
    return current;
}

IGraphConfig *GraphConfigNode::getDescendant(const ItemUID &uid) const
{
    if (uid.empty())
        return nullptr;
    size_t steps = 0;
    const GraphConfigNode *reached = walk(uid, steps);
    if (steps == uid.size())
        return const_cast<GraphConfigNode *>(reached);
    // Only a path whose last key names an attribute of the node reached
    // before it resolves: to that node.
    if (steps == 0 || steps + 1 != uid.size() || !reached->hasItem(uid.back()))
        return nullptr;
    return const_cast<GraphConfigNode *>(reached);
}

GraphConfigNode *GraphConfigNode::getGraphConfigItem(const ItemUID &uid) const
{
    if (uid.empty())
        return nullptr;
    size_t steps = 0;
    const GraphConfigNode *reached = walk(uid, steps);
    if (steps == uid.size() || (steps != 0 && steps + 1 == uid.size()))
        return const_cast<GraphConfigNode *>(reached);
    return nullptr;
}

IGraphConfig *GraphConfigNode::getDescendantByString(const std::string &path) const
{
    return getDescendant(ItemUID(path));
}

status_t GraphConfigNode::getDescendantByString(const std::string &path, GraphConfigNode **out) const
{
    if (out == nullptr)
        return err_argument;
    IGraphConfig *found = getDescendantByString(path);
    if (found == nullptr)
        return err_argument;
    *out = from(found);
    return err_none;
}

status_t GraphConfigNode::getAttribute(const ItemUID &uid, GraphConfigItem **out) const
{
    if (out == nullptr)
        return err_data;
    *out = nullptr;
    IGraphConfig *owner = getDescendant(uid);
    if (owner == nullptr) {
        ve_log_common_debug(VE_LOG_WARNING, kTag, "Warning: Failed to get descendant %s for attribute",
                            uid.toString().c_str());
        return err_noentry;
    }
    if (from(owner)->getAttribute(uid.back(), out) != err_none) {
        ve_log_common_debug(VE_LOG_WARNING, kTag, "warning: Failed to get attribute object for %s",
                            uid.toString().c_str());
        return err_noentry;
    }
    return err_none;
}

// The node that holds the last key of uid, for the path forms of getValue
// and setValue: this node for a one-key path.
static GraphConfigNode *valueOwner(const GraphConfigNode *node, const ItemUID &uid)
{
    if (uid.size() == 1)
        return const_cast<GraphConfigNode *>(node);
    IGraphConfig *owner = node->getDescendant(uid);
    return owner != nullptr ? GraphConfigNode::from(owner) : nullptr;
}

status_t GraphConfigNode::getValue(const ItemUID &uid, int32_t &value) const
{
    if (uid.empty())
        return err_argument;
    GraphConfigNode *owner = valueOwner(this, uid);
    return owner != nullptr ? owner->getValue(uid.back(), value) : err_argument;
}

status_t GraphConfigNode::getValue(const ItemUID &uid, std::string &value) const
{
    if (uid.empty())
        return err_argument;
    GraphConfigNode *owner = valueOwner(this, uid);
    return owner != nullptr ? owner->getValue(uid.back(), value) : err_argument;
}

status_t GraphConfigNode::setValue(const ItemUID &uid, int32_t value)
{
    if (uid.empty())
        return err_argument;
    GraphConfigNode *owner = valueOwner(this, uid);
    return owner != nullptr ? owner->setValue(uid.back(), value) : err_noentry;
}

status_t GraphConfigNode::setValue(const ItemUID &uid, const std::string &value)
{
    if (uid.empty())
        return err_argument;
    GraphConfigNode *owner = valueOwner(this, uid);
    return owner != nullptr ? owner->setValue(uid.back(), value) : err_noentry;
}

GraphConfigNode::const_iterator GraphConfigNode::getNextAttribute(const_iterator position) const
{
    if (position == mChildren.end())
        return position;
    for (++position; position != mChildren.end(); ++position)
        if (position->second->type == ItemType::STRING || position->second->type == ItemType::INT)
            break;
    return position;
}

GraphConfigNode *GraphConfigNode::getRootNode() const
{
    const GraphConfigNode *node = this;
    while (node->mAncestor != nullptr)
        node = node->mAncestor;
    return const_cast<GraphConfigNode *>(node);
}

IGraphConfig *GraphConfigNode::getRoot() const { return getRootNode(); }

namespace {

// Whether item is one of the library's own string attributes, whose text
// can be compared where it is stored (a class derived from it may read
// differently, so it answers through getValue).
bool isPlainText(const GraphConfigItem &item)
{
    return item.type == ItemType::STRING && typeid(item) == typeid(GraphConfigStrAttribute);
}

// Whether node has, under key, a value equal to wanted: the children under
// key are read in order; the first one that cannot be read ends the check.
template <typename Value>
bool holdsValue(const GraphConfigNode &node, KeyId key, const Value &wanted)
{
    auto range = node.children().equal_range(key);
    for (auto it = range.first; it != range.second; ++it) {
        if constexpr (std::is_same_v<Value, std::string>) {
            if (isPlainText(*it->second)) {
                if (static_cast<const GraphConfigStrAttribute *>(it->second)->value() == wanted)
                    return true;
                continue;
            }
        }
        Value value{};
        if (it->second->getValue(value) != err_none)
            return false;
        if (value == wanted)
            return true;
    }
    return false;
}

template <typename Value>
status_t deprecatedFind(const GraphConfigNode &self, KeyId key, const Value &value,
                        GraphConfigNode::const_iterator &pos, GraphConfigNode **out)
{
    ve_log_common_debug(VE_LOG_WARNING, kTag, "WARNING: deprecated funtion getDescendant(). Use NodeIterator instead");
    if (out == nullptr)
        return err_argument;
    for (; pos != self.end(); ++pos) {
        GraphConfigNode *child = nodeOf(pos->second);
        if (child != nullptr && holdsValue(*child, key, value)) {
            *out = child;
            ++pos;
            return err_none;
        }
    }
    return err_end;
}

}  // namespace

status_t GraphConfigNode::getDescendant(KeyId key, const std::string &value, const_iterator &pos,
                                        GraphConfigNode **out) const
{
    return deprecatedFind(*this, key, value, pos, out);
}

status_t GraphConfigNode::getDescendant(KeyId key, int32_t value, const_iterator &pos, GraphConfigNode **out) const
{
    return deprecatedFind(*this, key, value, pos, out);
}

// --- NodeIterator ----------------------------------------------------------

template <typename Match>
IGraphConfig *NodeIterator::next(Match &&match)
{
    if (mNode == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "NodeIterator was constructed with NULL.");
        return nullptr;
    }
    // The children are one array, so the child at position mIndex is at
    // index mIndex.
    const auto &children = GraphConfigNode::from(mNode)->children();
    if (mIndex < 0 || static_cast<size_t>(mIndex) >= children.size()) {
        reset();
        return nullptr;
    }
    while (static_cast<size_t>(mIndex) < children.size()) {
        const Child &child = children[static_cast<size_t>(mIndex)];
        ++mIndex;
        if (GraphConfigNode *found = match(child.first, child.second))
            return found;
    }
    reset();
    return nullptr;
}

IGraphConfig *NodeIterator::iterateByUid(KeyId key)
{
    return next([key](KeyId childKey, GraphConfigItem *item) { return childKey == key ? nodeOf(item) : nullptr; });
}

IGraphConfig *NodeIterator::iterateNodes(KeyId key, const std::string &value)
{
    return next([key, &value](KeyId, GraphConfigItem *item) -> GraphConfigNode * {
        GraphConfigNode *child = nodeOf(item);
        return (child != nullptr && holdsValue(*child, key, value)) ? child : nullptr;
    });
}

IGraphConfig *NodeIterator::iterateByType(KeyId typeKey)
{
    if (!mTypeCached || mTypeKey != typeKey) {
        mTypeKey = typeKey;
        mTypeName = ItemUID::key2str(typeKey);
        mTypeCached = true;
    }
    // A copy: reaching the end resets the iterator, and with it the cache.
    const std::string name = mTypeName;
    return iterateNodes(key_type, name);
}

IGraphConfig *NodeIterator::iterateDescendants()
{
    return next([](KeyId, GraphConfigItem *item) { return nodeOf(item); });
}

status_t NodeIterator::reset()
{
    mIndex = 0;
    mTypeKey = 0;
    mTypeName.clear();
    mTypeCached = false;
    return err_none;
}

}  // namespace Vorn
