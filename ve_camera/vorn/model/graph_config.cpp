// Items, attributes and nodes: key-based operations, copy, naming and dumps.
#include <vorn/graph_config.h>

#include <new>
#include <string>
#include <utility>
#include <vector>

#include <ve_cipr/ve_log_common.h>

#include "log_tags.h"
#include "model/item_cast.h"
#include "model/tree.h"

namespace Vorn {

namespace {
constexpr const char *kTag = kVornTag;

using detail::asIntAttribute;
using detail::asNode;
using detail::asStrAttribute;
}  // namespace

// --- items -----------------------------------------------------------------

GraphConfigItem::~GraphConfigItem() = default;

status_t GraphConfigItem::getValue(int32_t &) const { return err_noentry; }
status_t GraphConfigItem::getValue(std::string &) const { return err_noentry; }
status_t GraphConfigItem::setValue(const std::string &) { return err_noentry; }
status_t GraphConfigItem::setValue(int32_t) { return err_noentry; }

status_t GraphConfigIntAttribute::getValue(int32_t &value) const
{
    value = mValue;
    return err_none;
}

status_t GraphConfigIntAttribute::setValue(int32_t value) { return insertInteger(value); }

status_t GraphConfigIntAttribute::insertInteger(int32_t value)
{
    mValue = value;
    return err_none;
}

GraphConfigIntAttribute *GraphConfigIntAttribute::copy() const
{
    auto *attribute = new (std::nothrow) GraphConfigIntAttribute(mValue);
    if (attribute != nullptr)
        attribute->type = type;
    return attribute;
}

status_t GraphConfigStrAttribute::getValue(std::string &value) const
{
    value = mValue;
    return err_none;
}

status_t GraphConfigStrAttribute::setValue(const std::string &value) { return insertString(value); }

status_t GraphConfigStrAttribute::insertString(const std::string &value)
{
    mValue = value;
    return err_none;
}

GraphConfigStrAttribute *GraphConfigStrAttribute::copy() const
{
    try {
        auto *attribute = new (std::nothrow) GraphConfigStrAttribute(mValue);
        if (attribute != nullptr)
            attribute->type = type;
        return attribute;
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

IGraphConfig::~IGraphConfig() = default;

// --- node: ownership -------------------------------------------------------

GraphConfigNode::~GraphConfigNode()
{
    // Children of children are taken over before their owner goes, so the
    // subtree is released without recursion.
    std::vector<GraphConfigItem *> pending;
    pending.reserve(mChildren.size());
    for (auto &child : mChildren)
        pending.push_back(child.second);
    mChildren.clear();
    while (!pending.empty()) {
        GraphConfigItem *item = pending.back();
        pending.pop_back();
        GraphConfigNode *node = asNode(item);
        if (node != nullptr) {
            for (auto &child : node->mChildren)
                pending.push_back(child.second);
            node->mChildren.clear();
        }
        delete item;
    }
}

status_t GraphConfigNode::insertDescendant(GraphConfigItem *item, KeyId key)
{
    if (item == nullptr)
        return err_general;
    Children::iterator position;
    try {
        position = mChildren.emplace(key, item);  // after every child with the same key
    } catch (const std::bad_alloc &) {
        return err_nomemory;  // the item stays the caller's
    }
    ++mRevision;
    if (GraphConfigNode *node = asNode(item)) {
        node->mAncestor = this;
        node->mSelf = position;
        node->mHasSelf = true;
    }
    return err_none;
}

status_t GraphConfigNode::removeDescendant(KeyId key)
{
    auto it = mChildren.lower_bound(key);
    if (it == mChildren.end() || it->first != key)
        return err_none;
    GraphConfigItem *item = it->second;
    mChildren.erase(it);
    ++mRevision;
    delete item;
    return err_none;
}

GraphConfigNode::const_iterator GraphConfigNode::findFirst(KeyId key) const
{
    auto it = mChildren.lower_bound(key);
    return (it != mChildren.end() && it->first == key) ? it : mChildren.end();
}

bool GraphConfigNode::hasItem(KeyId key) const { return findFirst(key) != mChildren.end(); }

status_t GraphConfigNode::getAttribute(KeyId key, GraphConfigItem **out) const
{
    if (out == nullptr)
        return err_argument;
    auto it = findFirst(key);
    if (it == mChildren.end())
        return err_general;
    *out = it->second;
    return err_none;
}

status_t GraphConfigNode::getValue(KeyId key, int32_t &value) const
{
    GraphConfigItem *item = nullptr;
    status_t status = getAttribute(key, &item);
    return status != err_none ? status : item->getValue(value);
}

status_t GraphConfigNode::getValue(KeyId key, std::string &value) const
{
    GraphConfigItem *item = nullptr;
    status_t status = getAttribute(key, &item);
    return status != err_none ? status : item->getValue(value);
}

status_t GraphConfigNode::setValue(KeyId key, int32_t value)
{
    GraphConfigItem *item = nullptr;
    if (getAttribute(key, &item) != err_none)
        return err_noentry;
    if (item->type != ItemType::INT) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Attribute is of wrong type");
        return err_argument;
    }
    status_t status = handleAttributeOptions(this, key, std::to_string(value));
    if (status == err_none || status == err_notimplemented)
        return item->setValue(value);
    ve_log_common_debug(VE_LOG_VERBOSE, kTag, "setValue() restricted to attributes that have predefined options");
    return status;
}

status_t GraphConfigNode::setValue(KeyId key, const std::string &value)
{
    GraphConfigItem *item = nullptr;
    if (getAttribute(key, &item) != err_none)
        return err_noentry;
    if (item->type != ItemType::STRING) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Attribute is of wrong type");
        return err_argument;
    }
    status_t status = handleAttributeOptions(this, key, value);
    if (status == err_none || status == err_notimplemented)
        return item->setValue(value);
    ve_log_common_debug(VE_LOG_ERROR, kTag, "setValue() restricted to attributes that have predefined options");
    return status;
}

status_t GraphConfigNode::insertAttribute(GraphConfigItem *attribute, KeyId key)
{
    // One search finds both whether the key is taken and where it goes.
    auto position = mChildren.lower_bound(key);
    if (position != mChildren.end() && position->first == key) {
        delete attribute;
        return err_exists;
    }
    try {
        mChildren.emplace_hint(position, key, attribute);
    } catch (const std::bad_alloc &) {
        delete attribute;
        return err_nomemory;
    }
    ++mRevision;
    return err_none;
}

status_t GraphConfigNode::addValue(KeyId key, const std::string &value)
{
    GraphConfigStrAttribute *attribute = nullptr;
    try {
        attribute = new GraphConfigStrAttribute(value);
    } catch (const std::bad_alloc &) {
        return err_nomemory;
    }
    return insertAttribute(attribute, key);
}

status_t GraphConfigNode::addValue(KeyId key, int32_t value)
{
    auto *attribute = new (std::nothrow) GraphConfigIntAttribute(value);
    if (attribute == nullptr)
        return err_nomemory;
    return insertAttribute(attribute, key);
}

uint32_t GraphConfigNode::getDescendantCount() const { return static_cast<uint32_t>(mChildren.size()); }

IGraphConfig *GraphConfigNode::getAncestor() const { return mAncestor; }

status_t GraphConfigNode::getAncestor(IGraphConfig **out) const
{
    ve_log_common_debug(VE_LOG_WARNING, kTag, "WARNING: GraphConfigNode implementation of getAncestor is deprecated.");
    if (out == nullptr)
        return err_argument;
    *out = mAncestor;
    return err_none;
}

// --- naming ----------------------------------------------------------------

bool GraphConfigNode::findKeyInParent(KeyId &key) const
{
    if (mAncestor == nullptr)
        return false;
    // The position recorded at insertion answers at once; a scan of the
    // parent's children is the fallback.
    if (mHasSelf && mSelf->second == this) {
        key = mSelf->first;
        return true;
    }
    for (const auto &child : mAncestor->mChildren) {
        if (child.second == this) {
            key = child.first;
            return true;
        }
    }
    return false;
}

std::string GraphConfigNode::getName() const
{
    KeyId key = 0;
    return findKeyInParent(key) ? ItemUID::key2str(key) : "NA";
}

KeyId GraphConfigNode::getUid() const
{
    KeyId key = 0;
    return findKeyInParent(key) ? key : 0;
}

bool GraphConfigNode::isType(KeyId typeKey) const
{
    std::string typeValue;
    if (getValue(key_type, typeValue) != err_none) {
        ve_log_common_debug(VE_LOG_WARNING, kTag, "Trying to find type for %s, but it doesn't have one.",
                            tree::printItem(this).c_str());
        return false;
    }
    return ItemUID::str2key(typeValue) == typeKey;
}

// --- copy and dumps --------------------------------------------------------

GraphConfigNode *GraphConfigNode::copy() const
{
    auto *top = new (std::nothrow) GraphConfigNode();
    if (top == nullptr)
        return nullptr;
    try {
        // Each pending pair is a source node and its empty copy; children are
        // inserted in source order, so equal keys keep their order.
        std::vector<std::pair<const GraphConfigNode *, GraphConfigNode *>> pending{{this, top}};
        while (!pending.empty()) {
            auto [source, target] = pending.back();
            pending.pop_back();
            for (const auto &child : source->mChildren) {
                const GraphConfigItem *item = child.second;
                const GraphConfigNode *node = nullptr;
                GraphConfigItem *duplicate = nullptr;
                if (const GraphConfigIntAttribute *number = asIntAttribute(item)) {
                    duplicate = number->copy();
                } else if (const GraphConfigStrAttribute *text = asStrAttribute(item)) {
                    duplicate = text->copy();
                } else if ((node = asNode(item)) != nullptr) {
                    duplicate = new (std::nothrow) GraphConfigNode();
                } else {
                    continue;  // an undefined item carries nothing to copy
                }
                // Once inserted, every copy is owned by the new tree, so
                // releasing the top node releases everything built so far.
                if (duplicate == nullptr || target->insertDescendant(duplicate, child.first) != err_none) {
                    delete duplicate;
                    delete top;
                    return nullptr;
                }
                if (node != nullptr)
                    pending.emplace_back(node, static_cast<GraphConfigNode *>(duplicate));
            }
        }
    } catch (const std::bad_alloc &) {
        delete top;
        return nullptr;
    }
    return top;
}

void GraphConfigNode::dumpNode() const
{
    const char *typeName = " NODE";
    switch (type) {
    case ItemType::STRING:
        typeName = "STRING";
        break;
    case ItemType::INT:
        typeName = "INT";
        break;
    case ItemType::NA:
        typeName = "NA";
        break;
    default:
        break;
    }
    ve_log_common_debug(VE_LOG_ERROR, kTag, "Node %p type: %s ancestor %p map size %lu",
                        static_cast<const void *>(this), typeName, static_cast<const void *>(mAncestor),
                        static_cast<unsigned long>(mChildren.size()));
    if (type == ItemType::NODE)
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Node number of descendants : %u", getDescendantCount());
}

void GraphConfigNode::dumpNodeTree(const GraphConfigNode *node, int depth)
{
    if (node == nullptr)
        return;
    struct Frame {
        const GraphConfigNode *node;
        const_iterator next;
        size_t indent;
    };
    std::vector<Frame> stack;
    stack.push_back({node, node->mChildren.begin(), depth > 0 ? static_cast<size_t>(depth) * 2 : 0});
    std::string indentation;
    while (!stack.empty()) {
        Frame &frame = stack.back();
        if (frame.next == frame.node->mChildren.end()) {
            stack.pop_back();
            continue;
        }
        const KeyId key = frame.next->first;
        const GraphConfigItem *item = frame.next->second;
        ++frame.next;
        indentation.assign(frame.indent, ' ');
        const char *name = ItemUID::key2str(key);
        if (item->type == ItemType::INT) {
            int32_t value = 0;
            if (item->getValue(value) == err_none)
                ve_log_common_debug(VE_LOG_ERROR, kTag, "%s'%s'(%d) int [Attr] '%d'", indentation.c_str(), name,
                                    static_cast<int>(key), value);
        } else if (item->type == ItemType::STRING) {
            std::string value;
            item->getValue(value);
            ve_log_common_debug(VE_LOG_ERROR, kTag, "%s'%s' str [Attr] '%s'", indentation.c_str(), name, value.c_str());
        } else if (const GraphConfigNode *child = asNode(item)) {
            ve_log_common_debug(VE_LOG_ERROR, kTag, "%s'%s'(%d) [Node]", indentation.c_str(), name,
                                static_cast<int>(key));
            const size_t indent = frame.indent + 2;
            stack.push_back({child, child->mChildren.begin(), indent});  // frame is invalid from here
        } else {
            ve_log_common_debug(VE_LOG_ERROR, kTag, "type?");
        }
    }
}

}  // namespace Vorn
