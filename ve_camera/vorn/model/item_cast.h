// Checked downcasts of tree items. Items say what they are in their type
// tag; the library's own classes are recognised by their exact dynamic type
// (one pointer comparison), anything else derived from them falls back to
// dynamic_cast. A bare GraphConfigItem whose tag claims more is never cast.
#ifndef VORN_MODEL_ITEM_CAST_H
#define VORN_MODEL_ITEM_CAST_H

#include <typeinfo>

#include <vorn/graph_config.h>

namespace Vorn {
namespace detail {

template <typename Target, ItemType Tag>
Target *itemAs(GraphConfigItem *item)
{
    if (item == nullptr || item->type != Tag)
        return nullptr;
    if (typeid(*item) == typeid(Target))
        return static_cast<Target *>(item);
    return dynamic_cast<Target *>(item);
}

inline GraphConfigNode *asNode(GraphConfigItem *item) { return itemAs<GraphConfigNode, ItemType::NODE>(item); }

inline const GraphConfigNode *asNode(const GraphConfigItem *item)
{
    return asNode(const_cast<GraphConfigItem *>(item));
}

inline const GraphConfigIntAttribute *asIntAttribute(const GraphConfigItem *item)
{
    return itemAs<GraphConfigIntAttribute, ItemType::INT>(const_cast<GraphConfigItem *>(item));
}

inline const GraphConfigStrAttribute *asStrAttribute(const GraphConfigItem *item)
{
    return itemAs<GraphConfigStrAttribute, ItemType::STRING>(const_cast<GraphConfigItem *>(item));
}

}  // namespace detail
}  // namespace Vorn

#endif
