// Log lines of the new-version graph analysis, under the library's tag, the
// clearing of visited marks, and the node part of a connection end.
#ifndef VORN_ANALYSIS_ANALYSIS_LOG_H
#define VORN_ANALYSIS_ANALYSIS_LOG_H

#include <string>

#include <ve_cipr/ve_log_common.h>

#include "log_tags.h"

namespace Vorn {

#define VORN_ANALYSIS_LOG(level, ...) ve_log_common_debug((level), kVornTag, __VA_ARGS__)
#define logError(...) VORN_ANALYSIS_LOG(VE_LOG_ERROR, __VA_ARGS__)
#define logWarning(...) VORN_ANALYSIS_LOG(VE_LOG_WARNING, __VA_ARGS__)
#define logVerbose(...) VORN_ANALYSIS_LOG(VE_LOG_VERBOSE, __VA_ARGS__)

// Clears the visited mark of every node of a map of shared nodes; returns
// how many were set.
template <typename NodeMap>
unsigned clearVisitedMarks(const NodeMap &nodes)
{
    unsigned visited = 0;
    for (const auto &entry : nodes) {
        visited += entry.second->visited ? 1u : 0u;
        entry.second->visited = false;
    }
    return visited;
}

// The node part of a connection end ("node:port" or "node").
inline std::string nodePart(const std::string &end) { return end.substr(0, end.find(':')); }

// A separator line of dumps.
constexpr const char *kDumpSeparator = "=======================================================";
constexpr const char *kDumpRule = "-------------------------------------------------------";

}  // namespace Vorn

#endif
