// Merging one subtree into another: how settings, sensor modes and option
// changes are laid over a tree.
#ifndef VORN_MODEL_MERGE_H
#define VORN_MODEL_MERGE_H

#include <cstdint>

#include <vorn/graph_config.h>

namespace Vorn {

// Merge flags; the bits are independent.
constexpr int8_t kMergeCopyMissingNodes = 1;  // deep-copy child nodes the target lacks
constexpr int8_t kMergeApplyOptions = 2;      // apply the options of every attribute set or added
constexpr int8_t kMergeFeedPeers = 4;         // merge an output port into its peer afterwards
constexpr int8_t kMergeDeep = 8;              // merge shared child nodes, overwrite attributes

// Merges the children of source into target under flags. "name", "peer",
// "type", "direction" and "id" are only ever added, never overwritten; a
// child node under "options" is never merged recursively. err_nomemory when
// memory runs out, err_data for a merge nested deeper than a loaded document
// can be, err_argument for a null tree; logs each failure.
status_t mergeTrees(GraphConfigNode *target, GraphConfigNode *source, int8_t flags);

}  // namespace Vorn

#endif
