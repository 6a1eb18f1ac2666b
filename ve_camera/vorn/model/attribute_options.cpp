// The options check consulted by setValue before a value is written, attribute
// creation and writing from text, and the conversion of a base node's copy.
#include <vorn/graph_config.h>

#include <cstdint>
#include <new>

#include <ve_cipr/ve_log_common.h>

#include "log_tags.h"
#include "model/decimal_text.h"
#include "model/merge.h"
#include "model/tree.h"
#include "no_memory.h"

namespace Vorn {

namespace {
constexpr const char *kTag = kVornTag;

// Whether text is one of the allowed values of an option: the value itself,
// or, for a ","-separated list, a piece followed by "," or the non-empty last
// piece.
bool optionMatches(const std::string &value, const std::string &text)
{
    size_t start = 0;
    for (;;) {
        const size_t comma = value.find(',', start);
        if (comma == std::string::npos) {
            if (start == 0)
                return value == text;
            return start < value.size() && value.compare(start, std::string::npos, text) == 0;
        }
        if (value.compare(start, comma - start, text) == 0)
            return true;
        start = comma + 1;
    }
}

using tree::childNode;
using tree::nodeOf;
}  // namespace

status_t GraphConfigNode::handleAttributeOptions(GraphConfigNode *node, KeyId key, const std::string &text)
{
    if (node == nullptr)
        return err_argument;

    NodeIterator lists(node);
    while (GraphConfigNode *options = nodeOf(lists.iterateDescendants())) {
        int32_t attribute = 0;
        if (options->getUid() != key_options || options->getValue(key_attribute, attribute) != err_none ||
            static_cast<KeyId>(attribute) != key)
            continue;
        NodeIterator choices(options);
        while (GraphConfigNode *option = nodeOf(choices.iterateDescendants())) {
            if (!optionMatches(tree::textOr(option, key_value, ""), text))
                continue;
            GraphConfigNode *apply = nullptr;
            if (option->getDescendant(key_apply, &apply) != err_none) {
                ve_log_common_debug(VE_LOG_ERROR, kTag, "Found option for %s, but no apply node. Skipping.",
                                    text.c_str());
                return err_notimplemented;
            }
            const status_t status = mergeTrees(node->getRootNode(), apply, kMergeCopyMissingNodes | kMergeDeep);
            if (status != err_none)
                ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to apply option attributes");
            return status;
        }
    }
    ve_log_common_debug(VE_LOG_WARNING, kTag, "Trying to apply value but no options list available for %s.",
                        tree::printItem(node).c_str());
    return err_noentry;
}

status_t GraphConfigNode::createAttribute(const ItemUID &uid, GraphConfigItem **out)
{
    if (out == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Invalid argument (nullptr) to create an attribute");
        return err_argument;
    }
    *out = nullptr;

    GraphConfigNode *parent = this;
    size_t failed = 0;
    for (; failed < uid.size(); ++failed) {
        GraphConfigNode *next = nullptr;
        if (parent->getDescendant(uid[failed], &next) != err_none)
            break;
        parent = next;
    }
    const size_t length = uid.size();
    if (failed == length) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Error: item %s is not an attribute it is an existing node",
                            uid.toString().c_str());
        return err_general;
    }

    const KeyId last = uid.back();
    const bool integer = ItemUID::isInteger(last);
    if (failed >= 1 && failed + 2 == length) {
        // Only the node directly above the attribute is missing.
        UniqueNode node(new (std::nothrow) GraphConfigNode());
        if (!node)
            return err_nomemory;
        const status_t added = integer ? node->addValue(last, 0) : node->addValue(last, std::string());
        if (added != err_none) {
            ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to add attribute %s to node", uid.toString().c_str());
            return added == err_nomemory ? err_nomemory : err_general;
        }
        GraphConfigNode *created = node.get();
        if (parent->adoptDescendant(std::move(node), uid[failed]) != err_none)
            return err_nomemory;
        return created->getAttribute(last, out);
    }
    if (failed + 1 == length) {
        const status_t added = integer ? parent->addValue(last, 0) : parent->addValue(last, std::string());
        if (added != err_none) {
            ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to add attribute %s to node", uid.toString().c_str());
            return added == err_nomemory ? err_nomemory : err_general;
        }
        return parent->getAttribute(last, out);
    }
    ve_log_common_debug(VE_LOG_WARNING, kTag,
                        "Warning: Failed to create attribute %s: Too many missing nodes, stopped at depth %lu",
                        uid.toString().c_str(), static_cast<unsigned long>(failed));
    return err_general;
}

status_t GraphConfigNode::setValueFromStr(const ItemUID &uid, const std::string &text)
{
    if (uid.empty()) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Empty path, cannot set value %s", text.c_str());
        return err_argument;
    }
    GraphConfigNode *target = uid.size() >= 2 ? getGraphConfigItem(uid) : this;
    if (target == nullptr)
        return err_noentry;

    const KeyId last = uid.back();
    GraphConfigItem *item = nullptr;
    const bool missing = target->getAttribute(last, &item) != err_none;
    int32_t number = 0;
    const bool integer = missing ? ItemUID::isInteger(last) : item->type == ItemType::INT;
    // An integer text is checked before anything is created or written.
    if (integer && !decimalToInt32(text.data(), text.data() + text.size(), number)) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Invalid integer value '%s' for %s", text.c_str(),
                            uid.toString().c_str());
        return err_data;
    }
    if (missing && target->createAttribute(ItemUID{last}, &item) != err_none) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Could not create attribute");
        return err_noentry;
    }
    return integer ? item->setValue(number) : item->setValue(text);
}

namespace {

// Gives the copy of a base node its "base_type" as "type" and nodeName as
// "name".
status_t adoptTypeAndName(GraphConfigNode &copy, const std::string &nodeName)
{
    std::string baseType;
    const status_t status = tree::readOrLog(&copy, key_base_type, baseType, kTag,
                                            "Failed to get base node type, change from base node failed");
    if (status != err_none)
        return status;

    GraphConfigItem *item = nullptr;
    status_t typeStatus = copy.getAttribute(key_type, &item);
    if (typeStatus == err_none)
        typeStatus = item->setValue(baseType);
    status_t nameStatus = copy.getAttribute(key_name, &item);
    if (nameStatus == err_none)
        nameStatus = item->setValue(nodeName);
    if (typeStatus != err_none || nameStatus != err_none) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to set node type and name from config %s", nodeName.c_str());
        return typeStatus | nameStatus;
    }
    return err_none;
}

// Moves the change that one option's apply node addresses to baseKey over to
// newKey; nothing when it has none.
status_t readdressChange(GraphConfigNode &option, KeyId baseKey, KeyId newKey, const GraphConfigNode &port,
                         const std::string &baseName)
{
    GraphConfigNode *apply = childNode(&option, key_apply);
    GraphConfigNode *change = childNode(apply, baseKey);
    if (change == nullptr)
        return err_none;
    UniqueNode duplicate(change->copy());
    if (!duplicate) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed create a copy during option handling");
        return err_nomemory;
    }
    status_t status = apply->adoptDescendant(std::move(duplicate), newKey);
    if (status != err_none) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to insert copy %d during option handling for port %s",
                            static_cast<int>(newKey), port.getName().c_str());
        return status;
    }
    status = apply->removeDescendant(baseKey);
    if (status != err_none)
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to remove original during option handling %s",
                            baseName.c_str());
    return status;
}

// Readdresses the option changes that the ports of the copy address to the
// base node to the node named nodeName (a key is generated for a new name).
status_t readdressOptionChanges(GraphConfigNode &copy, const std::string &baseName, const std::string &nodeName)
{
    const KeyId baseKey = ItemUID::str2key(baseName);
    KeyId newKey = ItemUID::str2key(nodeName);
    if (newKey == 0)
        newKey = ItemUID::generateKey(nodeName);
    NodeIterator ports(&copy);
    while (GraphConfigNode *port = nodeOf(ports.iterateByType(key_port))) {
        GraphConfigNode *options = childNode(port, key_options);
        if (options == nullptr)
            continue;
        NodeIterator choices(options);
        while (GraphConfigNode *option = nodeOf(choices.iterateDescendants())) {
            const status_t status = readdressChange(*option, baseKey, newKey, *port, baseName);
            if (status != err_none)
                return status;
        }
    }
    return err_none;
}

// Applies the "target"/"value" overrides that the referencing node holds as
// child nodes, in child order.
status_t applyNodeOverrides(GraphConfigNode &copy, GraphConfigNode &node)
{
    NodeIterator overrides(&node);
    while (GraphConfigNode *change = nodeOf(overrides.iterateDescendants())) {
        const std::string target = tree::textOr(change, key_target, "");
        const std::string value = tree::textOr(change, key_value, "");
        ve_log_common_debug(VE_LOG_VERBOSE, kTag, "Applying override %s -> %s", target.c_str(), value.c_str());
        const status_t status = target.empty() ? err_argument : copy.setValueFromStr(ItemUID(target), value);
        if (status != err_none) {
            ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to apply override %s -> %s", target.c_str(), value.c_str());
            return status;
        }
    }
    return err_none;
}

}  // namespace

status_t GraphConfigNode::changeBaseNodeIntoNode(GraphConfigNode &node)
try {
    const std::string nodeName = node.getName();
    const std::string baseName = tree::textOr(this, key_name, "");
    ve_log_common_debug(VE_LOG_VERBOSE, kTag, "Change base node %s into node %s ", baseName.c_str(), nodeName.c_str());

    status_t status = adoptTypeAndName(*this, nodeName);
    if (status == err_none)
        status = readdressOptionChanges(*this, baseName, nodeName);
    if (status == err_none)
        status = applyNodeOverrides(*this, node);
    if (status != err_none)
        return status;
    ve_log_common_debug(VE_LOG_VERBOSE, kTag, "Conversion from base node %s  done!", nodeName.c_str());
    return err_none;
} catch (const std::bad_alloc &) {
    return noMemory("changeBaseNodeIntoNode");
}

}  // namespace Vorn
