// Operations for ISP simulation tools that work on the graph descriptor and
// graph settings directly: clone a settings tree, set integers, look kernels
// up, list the kernels of a stream in one graph, read mux positions.
#ifndef VORN_TOL_KOR_SIM_UTILS_H
#define VORN_TOL_KOR_SIM_UTILS_H

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <vorn/graph_config.h>
#include <vorn/status.h>
#include <vorn/vorn_api.h>

namespace Vorn {

class VORN_API TolKorSimUtils {
public:
    // A kernel as the simulation knows it.
    struct KernelInfo {
        std::string name;     // the kernel's "name"
        int32_t palUuid = 0;  // the kernel's "pal_uuid"
    };
    // Node name -> "active_output" of a demultiplexer or "active_input" of a
    // multiplexer.
    using MuxConfiguration = std::map<std::string, uint32_t>;

    // Deep copy of a settings tree, owned by the caller from then on.
    // err_argument when either pointer is null.
    static status_t cloneSettings(const GraphConfigNode *settings, GraphConfigNode **clone);
    // Sets the integer under key on node, adding an integer attribute when
    // node has no integer there (after a string of the same key, if any).
    static status_t setValue(GraphConfigNode *node, KeyId key, int32_t value);
    // "pal_uuid" of the first kernel (program groups and their kernels in
    // child order) whose "name" is name; err_noentry when there is none.
    static status_t getKernelPalUuid(const IGraphConfig *graph, const std::string &name, int32_t &palUuid);
    // Program groups at either end of the connections of graph graphId of a
    // descriptor. Applies that graph's overrides to the descriptor's "nodes"
    // first, so the descriptor is changed.
    static status_t getPgsInGraph(IGraphConfig *descriptor, int32_t graphId, std::set<IGraphConfig *> &programGroups);
    // Appends name and pal uuid of every kernel of a program group; stops at
    // the first kernel without either.
    static status_t getKernelInfoList(const IGraphConfig &programGroup, std::vector<KernelInfo> &kernels);
    // Appends the kernels of the program groups of stream streamId in graph
    // graphId, program groups in the order the graph's connections first
    // name them. Changes the descriptor as getPgsInGraph does.
    static status_t getKernelList(IGraphConfig *descriptor, int32_t graphId, int32_t streamId,
                                  std::vector<KernelInfo> &kernels);
    // Adds the positions of the demultiplexers and multiplexers inside the
    // processing nodes of stream streamId among graph's children (program
    // groups; compute blocks in a graph whose "graph:version" names OKT7).
    static status_t getMuxConfiguration(const IGraphConfig *graph, int32_t streamId, MuxConfiguration &configuration);
};

}  // namespace Vorn

#endif
