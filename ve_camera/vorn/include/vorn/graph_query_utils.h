// Editing of graph trees during result-graph construction: merging one
// subtree into another, finding a port's peer and switching off pixel ports
// that lead nowhere.
#ifndef VORN_GRAPH_QUERY_UTILS_H
#define VORN_GRAPH_QUERY_UTILS_H

#include <cstdint>

#include <vorn/graph_config.h>
#include <vorn/status.h>
#include <vorn/vorn_api.h>

namespace Vorn {

class VORN_API GraphQueryUtils {
public:
    // Merge flags; the bits are independent.
    static constexpr int8_t kCopyMissingNodes = 1;  // deep-copy child nodes the target lacks
    static constexpr int8_t kApplyOptions = 2;      // apply the options of every attribute set or added
    static constexpr int8_t kFeedPeers = 4;         // merge an output port into its peer afterwards
    static constexpr int8_t kDeepMerge = 8;         // merge shared child nodes, overwrite attributes

    // Merges the children of source into target under flags. "name", "peer",
    // "type", "direction" and "id" are only ever added, never overwritten;
    // a child node under "options" is never merged recursively.
    static status_t addDescendantsFromNode(GraphConfigNode *target, GraphConfigNode *source, int8_t flags);
    // The node named by port's first "peer" ("node:port", or a virtual sink's
    // name alone), whether enabled or not; null when it is missing.
    static GraphConfigNode *getPortPeer(const GraphConfigNode *port);
    // Disables every pixel port one level below root's child nodes that is
    // neither private nor disabled already and has no peer or a disabled one.
    static void disableUnusedPorts(GraphConfigNode *root);
    // Sets node's integer "enabled" to 0, creating it when missing.
    static status_t disableNode(GraphConfigNode *node);
};

}  // namespace Vorn

#endif
