// Port pruning as a step of result-graph construction.
#ifndef VORN_QUERY_PRUNING_H
#define VORN_QUERY_PRUNING_H

#include <vorn/graph_config.h>

namespace Vorn {

// GraphQueryUtils::disableUnusedPorts with its outcome: err_nomemory when a
// port that leads nowhere could not be disabled.
status_t pruneUnusedPorts(GraphConfigNode *root);

}  // namespace Vorn

#endif
