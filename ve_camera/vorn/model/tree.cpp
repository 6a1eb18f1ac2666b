// Item texts for log lines and names.
#include "model/tree.h"

namespace Vorn {
namespace tree {

status_t pgAndPortNames(const IGraphConfig *item, std::string &pgName, std::string &portName)
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

std::string fullName(const IGraphConfig &item)
{
    std::string pgName = "NA";
    std::string portName = "NA";
    pgAndPortNames(&item, pgName, portName);
    return pgName + ":" + portName;
}

std::string printItem(const IGraphConfig *item)
{
    if (item == nullptr)
        return "NULL";
    const std::string type = textOr(item, key_type, "NODE");
    const KeyId typeKey = ItemUID::str2key(type);
    const bool withOwner = typeKey == key_demux || typeKey == key_kernel || typeKey == key_mux || typeKey == key_port;
    return type + "[" + (withOwner ? fullName(*item) : item->getName()) + "]";
}

GraphConfigNode *portPeer(const GraphConfigNode *port)
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

}  // namespace tree
}  // namespace Vorn
