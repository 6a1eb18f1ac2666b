// Queries over graph nodes: item text, full names and dumps.
#ifndef VORN_GRAPH_CAMERA_UTIL_H
#define VORN_GRAPH_CAMERA_UTIL_H

#include <cstdint>
#include <string>

#include <vorn/graph_config.h>
#include <vorn/status.h>
#include <vorn/vorn_api.h>

namespace Vorn {

// Reads the "name" of item's ancestor (when it has one) into pgName and the
// "name" of item into portName; err_general when a present one cannot be
// read. A string keeps its content when its read fails.
VORN_API status_t getPgAndPortNames(const IGraphConfig *item, std::string &pgName, std::string &portName);

class VORN_API GraphCameraUtil {
public:
    // "<ancestor name>:<name>", "NA" for a name that cannot be read.
    static std::string getFullName(const IGraphConfig &item);
    // "<type>[<name>]": the full name for demux, kernel, mux and port items,
    // the plain name otherwise; "NODE" as type for an item without one.
    static std::string print(const IGraphConfig *item);
    static void dumpNodeTree(const IGraphConfig *node, int32_t depth);
};

}  // namespace Vorn

#endif
