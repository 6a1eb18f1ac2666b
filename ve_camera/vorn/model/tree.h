// The vocabulary in which the library reads its trees: checked casts, child
// lookups, reads with a default, and the tests that say what a node is.
// Everything here goes through the public node interface, so it holds
// whatever the node's storage.
#ifndef VORN_MODEL_TREE_H
#define VORN_MODEL_TREE_H

#include <cstdint>
#include <string>
#include <type_traits>

#include <ve_cipr/ve_log_common.h>
#include <vorn/graph_config.h>

#include "model/item_cast.h"

namespace Vorn {
namespace tree {

// The node an item is, or null when it is null or not a node.
inline GraphConfigNode *nodeOf(GraphConfigItem *item) { return detail::asNode(item); }
// The node an item is, or null when it is null or not a node.
inline const GraphConfigNode *nodeOf(const GraphConfigItem *item) { return detail::asNode(item); }
// The node behind a node interface (null stays null).
inline GraphConfigNode *nodeOf(IGraphConfig *config)
{
    return config != nullptr ? GraphConfigNode::from(config) : nullptr;
}
// The node behind a node interface (null stays null).
inline const GraphConfigNode *nodeOf(const IGraphConfig *config)
{
    return config != nullptr ? GraphConfigNode::from(config) : nullptr;
}
// A node is already a node; settles the choice between the two bases.
inline GraphConfigNode *nodeOf(GraphConfigNode *node) { return node; }
// A node is already a node; settles the choice between the two bases.
inline const GraphConfigNode *nodeOf(const GraphConfigNode *node) { return node; }

// The first child node stored under key; null when there is none, when that
// child is an attribute, or when node is null.
inline GraphConfigNode *childNode(const GraphConfigNode *node, KeyId key)
{
    GraphConfigNode *child = nullptr;
    return node != nullptr && node->getDescendant(key, &child) == err_none ? child : nullptr;
}

// The integer attribute key of item, or fallback when item is null or has none.
inline int32_t intOr(const IGraphConfig *item, KeyId key, int32_t fallback)
{
    int32_t value = 0;
    return item != nullptr && item->getValue(key, value) == err_none ? value : fallback;
}

// The text attribute key of item, or fallback when item is null or has none.
inline std::string textOr(const IGraphConfig *item, KeyId key, const std::string &fallback)
{
    std::string value;
    return item != nullptr && item->getValue(key, value) == err_none ? value : fallback;
}

// Reads the attribute key of item into value; on failure logs message (taken
// as plain text) at error level under tag and returns the read's status
// (err_argument for a null item), value untouched.
template <typename Value>
status_t readOrLog(const IGraphConfig *item, KeyId key, Value &value, const char *tag, const char *message)
{
    const status_t status = item != nullptr ? item->getValue(key, value) : err_argument;
    if (status != err_none)
        ve_log_common_debug(VE_LOG_ERROR, tag, "%s", message);
    return status;
}

// Whether item's text "type" is typeName (false for a null item).
inline bool hasType(const IGraphConfig *item, const char *typeName)
{
    std::string type;
    return item != nullptr && item->getValue(key_type, type) == err_none && type == typeName;
}

// Whether item's text "type" names the key typeKey, like IGraphConfig::isType
// but without a warning for an item without a type (false for null).
inline bool hasType(const IGraphConfig *item, KeyId typeKey)
{
    std::string type;
    return item != nullptr && item->getValue(key_type, type) == err_none && ItemUID::str2key(type) == typeKey;
}

// The nearest ancestor of item (its parent first) whose "type" names
// typeKey; null when there is none or item is null.
inline IGraphConfig *nearestAncestorOfType(const IGraphConfig *item, KeyId typeKey)
{
    for (IGraphConfig *ancestor = item != nullptr ? item->getAncestor() : nullptr; ancestor != nullptr;
         ancestor = ancestor->getAncestor()) {
        if (hasType(ancestor, typeKey))
            return ancestor;
    }
    return nullptr;
}

// A virtual sink: a node of type "sink", which is its own port.
inline bool isVirtualSink(const IGraphConfig *item) { return hasType(item, "sink"); }

// An output port: "direction" is 1.
inline bool isOutputPort(const IGraphConfig *port) { return intOr(port, key_direction, 0) == 1; }

// A port that carries pixels: its "content_type" is "pixel_data" or missing.
inline bool isPixelPort(const IGraphConfig *port)
{
    return textOr(port, key_content_type, "pixel_data") == "pixel_data";
}

// Calls visit(child) for each direct child of node whose "type" names
// typeKey, in child order. visit returns nothing, or a bool that is false
// to stop the walk. The children are only read, so node may be const.
template <typename Visit>
void forEachChildOfType(const IGraphConfig &node, KeyId typeKey, Visit &&visit)
{
    NodeIterator it(const_cast<IGraphConfig *>(&node));
    while (IGraphConfig *child = it.iterateByType(typeKey)) {
        if constexpr (std::is_void_v<decltype(visit(child))>) {
            visit(child);
        } else if (!visit(child)) {
            return;
        }
    }
}

// Reads the "name" of item's ancestor (when it has one) into pgName and the
// "name" of item into portName; err_general when a present one cannot be
// read or item is null. A string keeps its content when its read fails.
status_t pgAndPortNames(const IGraphConfig *item, std::string &pgName, std::string &portName);

// "owner:name" of item, "NA" for either name that cannot be read.
std::string fullName(const IGraphConfig &item);

// The text in which log lines show an item: its "type" ("NODE" without one)
// and, in brackets, the full name of a port, kernel, mux or demux or the
// item name of anything else; "NULL" for null.
std::string printItem(const IGraphConfig *item);

// The node named by port's first "peer" ("node:port", or a virtual sink's
// name alone), whether enabled or not; null when it is missing.
GraphConfigNode *portPeer(const GraphConfigNode *port);

}  // namespace tree
}  // namespace Vorn

#endif
