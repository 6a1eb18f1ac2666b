// Item text, full names and dumps of graph nodes.
#include <vorn/graph_camera_util.h>

namespace Vorn {

status_t getPgAndPortNames(const IGraphConfig *item, std::string &pgName, std::string &portName)
{
    if (item == nullptr)
        return err_general;
    status_t status = err_none;
    if (const IGraphConfig *ancestor = item->getAncestor()) {
        if (ancestor->getValue(key_name, pgName) != err_none)
            status = err_general;
    }
    if (item->getValue(key_name, portName) != err_none)
        status = err_general;
    return status;
}

std::string GraphCameraUtil::getFullName(const IGraphConfig &item)
{
    std::string pgName = "NA";
    std::string portName = "NA";
    getPgAndPortNames(&item, pgName, portName);
    return pgName + ":" + portName;
}

std::string GraphCameraUtil::print(const IGraphConfig *item)
{
    if (item == nullptr)
        return "NULL";
    std::string type;
    if (item->getValue(key_type, type) != err_none)
        type = "NODE";
    const KeyId typeKey = ItemUID::str2key(type);
    const bool fullName = typeKey == key_demux || typeKey == key_kernel || typeKey == key_mux || typeKey == key_port;
    return type + "[" + (fullName ? getFullName(*item) : item->getName()) + "]";
}

void GraphCameraUtil::dumpNodeTree(const IGraphConfig *node, int32_t depth)
{
    if (node != nullptr)
        GraphConfigNode::dumpNodeTree(GraphConfigNode::from(node), depth);
}

}  // namespace Vorn
