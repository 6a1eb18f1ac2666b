// The ports through which the nodes of one subgraph exchange data with the
// outside, for callers that already hold the subgraph's nodes.
#ifndef VORN_CAMERA_SUBGRAPH_PORTS_H
#define VORN_CAMERA_SUBGRAPH_PORTS_H

#include <cstdint>
#include <vector>

#include <vorn/graph_config.h>

namespace Vorn {

// Appends the ports of node (when its integer under key is value) of the
// given direction that cross the subgraph border, in child order: ports
// without a peer, outputs into a virtual sink, and ports whose peer belongs
// to a node of another type or of another subgraph.
void appendSubgraphPortsOf(const IGraphConfig &node, KeyId key, int32_t value, int32_t direction, KeyId nodeType,
                           std::vector<IGraphConfig *> &ports);
// The first of ports that has a peer; otherwise the last peer lookup's status
// (err_argument for no ports), port untouched.
status_t firstPortWithPeer(const std::vector<IGraphConfig *> &ports, IGraphConfig **port);

}  // namespace Vorn

#endif
