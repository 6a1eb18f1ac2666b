// Simulation utilities over graph descriptors and graph settings.
#include <vorn/tol_kor_sim_utils.h>

#include <new>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <ve_cipr/ve_log_common.h>
#include <vorn/graph_camera_util.h>

#include "log_tags.h"
#include "model/tree.h"

namespace Vorn {

namespace {
constexpr const char *kTag = kKorSimulationTag;

// --- settings ----------------------------------------------------------------

// Adds an integer attribute under key after whatever node already holds
// there; the insertion's status.
status_t addIntAttribute(GraphConfigNode &node, KeyId key, int32_t value)
{
    UniqueItem attribute(new (std::nothrow) GraphConfigIntAttribute(value));
    if (!attribute)
        return err_nomemory;
    const status_t status = node.adoptDescendant(std::move(attribute), key);
    ve_log_common_debug(VE_LOG_ERROR, kTag, "added new attr");
    return status;
}

// Overwrites the integer node holds under key.
status_t updateIntAttribute(GraphConfigNode &node, KeyId key, int32_t value)
{
    GraphConfigItem *attribute = nullptr;
    if (node.getAttribute(key, &attribute) != err_none || attribute == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "get attr failed");
        return err_general;
    }
    return attribute->setValue(value);
}

// --- descriptor graphs -------------------------------------------------------

// The descriptor's "graphs" and "nodes"; err_argument, with an error, when
// either is missing.
status_t findGraphsAndNodes(const IGraphConfig &descriptor, GraphConfigNode *&graphs, GraphConfigNode *&nodes)
{
    const GraphConfigNode *root = tree::nodeOf(descriptor.getRoot());
    graphs = tree::childNode(root, key_graphs);
    if (graphs == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "No Graphs found from input GDF node");
        return err_argument;
    }
    nodes = tree::childNode(root, key_nodes);
    if (nodes == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "No Nodes found from input GDF node");
        return err_argument;
    }
    return err_none;
}

// The first graph element of "graphs" whose "id" is graphId; err_data for a
// graph without id met before it, err_noentry when there is none.
status_t findGraph(const GraphConfigNode &graphs, int32_t graphId, GraphConfigNode *&graph)
{
    graph = nullptr;
    status_t status = err_none;
    tree::forEachChildOfType(graphs, key_graph, [&](IGraphConfig *candidate) {
        int32_t id = -1;
        if (candidate->getValue(key_id, id) != err_none) {
            ve_log_common_debug(VE_LOG_ERROR, kTag, "Graph without id attribute, invalid");
            status = err_data;
            return false;
        }
        if (id == graphId)
            graph = tree::nodeOf(candidate);
        return graph == nullptr;
    });
    if (status == err_none && graph == nullptr) {
        ve_log_common_debug(VE_LOG_WARNING, kTag, "Graph id %d not found", graphId);
        status = err_noentry;
    }
    return status;
}

// Program groups in the order they are first found, each once.
struct ProgramGroupList {
    std::vector<IGraphConfig *> order;
    std::set<IGraphConfig *> members;

    void add(IGraphConfig *programGroup)
    {
        if (programGroup != nullptr && members.insert(programGroup).second)
            order.push_back(programGroup);
    }
};

// Adds the program group holding the item that path names below nodes.
void addEndpointProgramGroup(const GraphConfigNode &nodes, const std::string &path, ProgramGroupList &programGroups)
{
    programGroups.add(tree::nearestAncestorOfType(nodes.getDescendant(ItemUID(path)), key_program_group));
}

// The program groups at the ends of graph's connections, in the order the
// connections first name them; err_data for a connection without both ends.
status_t collectConnectedProgramGroups(const GraphConfigNode &graph, const GraphConfigNode &nodes,
                                       ProgramGroupList &programGroups)
{
    NodeIterator it(const_cast<GraphConfigNode *>(&graph));
    while (const IGraphConfig *connection = it.iterateByUid(key_connection)) {
        std::string source;
        std::string sink;
        if (connection->getValue(key_source, source) != err_none || connection->getValue(key_sink, sink) != err_none) {
            ve_log_common_debug(VE_LOG_ERROR, kTag, "Connection without src or sink attribute, invalid!");
            return err_data;
        }
        addEndpointProgramGroup(nodes, source, programGroups);
        addEndpointProgramGroup(nodes, sink, programGroups);
    }
    return err_none;
}

// Steps of getPgsInGraph, with the program groups in connection order.
// Program groups found before a failing connection are still handed out.
status_t programGroupsInGraph(IGraphConfig *descriptor, int32_t graphId, ProgramGroupList &programGroups)
{
    if (descriptor == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "No Graphs found from input GDF node");
        return err_argument;
    }
    GraphConfigNode *graphs = nullptr;
    GraphConfigNode *nodes = nullptr;
    status_t status = findGraphsAndNodes(*descriptor, graphs, nodes);
    if (status != err_none)
        return status;
    GraphConfigNode *graph = nullptr;
    status = findGraph(*graphs, graphId, graph);
    if (status != err_none)
        return status;
    status = GraphCameraUtil::processGraphOverrides(*graph, *nodes);
    if (status != err_none) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to process graph %d overrides", graphId);
        return status;
    }
    return collectConnectedProgramGroups(*graph, *nodes, programGroups);
}

// --- mux positions -----------------------------------------------------------

// The type of the nodes that hold the muxes: compute blocks in OKT7 graphs,
// program groups otherwise.
KeyId muxHolderType(const IGraphConfig &graph)
{
    std::string version;
    const bool okt7 = graph.getValue(ItemUID{key_graph, key_version}, version) == err_none &&
                      version.find("OKT7") != std::string::npos;
    return okt7 ? key_compute_block : key_program_group;
}

// Records the integer under positionKey of every child of type muxType;
// err_internal at the first child without it, whose name goes to failed.
status_t readMuxPositions(const IGraphConfig &holder, KeyId muxType, KeyId positionKey,
                          TolKorSimUtils::MuxConfiguration &configuration, std::string &failed)
{
    status_t status = err_none;
    tree::forEachChildOfType(holder, muxType, [&](IGraphConfig *mux) {
        int32_t position = 0;
        if (mux->getValue(positionKey, position) != err_none) {
            failed = mux->getName();
            status = err_internal;
            return false;
        }
        configuration[mux->getName()] = static_cast<uint32_t>(position);
        return true;
    });
    return status;
}

// Demultiplexers first, then multiplexers, of one processing node.
status_t readHolderMuxes(const IGraphConfig &holder, TolKorSimUtils::MuxConfiguration &configuration)
{
    std::string failed;
    if (readMuxPositions(holder, key_demux, key_active_output, configuration, failed) != err_none) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to get active output for demuxer %s", failed.c_str());
        return err_internal;
    }
    if (readMuxPositions(holder, key_mux, key_active_input, configuration, failed) != err_none) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to get active input for muxer %s", failed.c_str());
        return err_internal;
    }
    return err_none;
}
}  // namespace

status_t TolKorSimUtils::cloneSettings(const GraphConfigNode *settings, GraphConfigNode **clone)
{
    if (settings == nullptr || clone == nullptr)
        return err_argument;
    GraphConfigNode *copy = settings->copy();
    if (copy == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Error copying: No memory");
        return err_nomemory;
    }
    *clone = copy;
    return err_none;
}

status_t TolKorSimUtils::setValue(GraphConfigNode *node, KeyId key, int32_t value)
{
    int32_t current = 0;
    status_t status = err_argument;
    if (node != nullptr)
        status = node->getValue(key, current) == err_none ? updateIntAttribute(*node, key, value)
                                                          : addIntAttribute(*node, key, value);
    if (status != err_none)
        ve_log_common_debug(VE_LOG_ERROR, kTag, "was not able to update %s", ItemUID::key2str(key));
    return status;
}

status_t TolKorSimUtils::getKernelPalUuid(const IGraphConfig *graph, const std::string &name, int32_t &palUuid)
{
    const IGraphConfig *kernel = nullptr;
    if (graph != nullptr) {
        tree::forEachChildOfType(*graph->getRoot(), key_program_group, [&](IGraphConfig *programGroup) {
            tree::forEachChildOfType(*programGroup, key_kernel, [&](IGraphConfig *candidate) {
                std::string kernelName;
                if (candidate->getValue(key_name, kernelName) == err_none && kernelName == name)
                    kernel = candidate;
                return kernel == nullptr;
            });
            return kernel == nullptr;
        });
    }
    if (kernel == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Couldn't find %s", name.c_str());
        return graph != nullptr ? err_noentry : err_argument;
    }
    const status_t status = kernel->getValue(key_pal_uuid, palUuid);
    if (status != err_none)
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Couldn't get pal uuid for %s", name.c_str());
    return status;
}

status_t TolKorSimUtils::getPgsInGraph(IGraphConfig *descriptor, int32_t graphId,
                                       std::set<IGraphConfig *> &programGroups)
{
    ProgramGroupList found;
    const status_t status = programGroupsInGraph(descriptor, graphId, found);
    programGroups.insert(found.members.begin(), found.members.end());
    return status;
}

status_t TolKorSimUtils::getKernelInfoList(const IGraphConfig &programGroup, std::vector<KernelInfo> &kernels)
{
    status_t status = err_none;
    tree::forEachChildOfType(programGroup, key_kernel, [&](IGraphConfig *kernel) {
        KernelInfo info;
        const status_t nameStatus = kernel->getValue(key_name, info.name);
        const status_t uuidStatus = kernel->getValue(key_pal_uuid, info.palUuid);
        status = nameStatus | uuidStatus;
        if (status != err_none)
            return false;
        kernels.push_back(std::move(info));
        return true;
    });
    return status;
}

status_t TolKorSimUtils::getKernelList(IGraphConfig *descriptor, int32_t graphId, int32_t streamId,
                                       std::vector<KernelInfo> &kernels)
{
    ProgramGroupList programGroups;
    const status_t status = programGroupsInGraph(descriptor, graphId, programGroups);
    if (status != err_none) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Error retrieving pg from graph info!");
        return status;
    }
    for (const IGraphConfig *programGroup : programGroups.order) {
        if (tree::intOr(programGroup, key_stream_id, 0) == streamId)
            getKernelInfoList(*programGroup, kernels);  // a kernel without name or uuid ends only its group
    }
    return err_none;
}

status_t TolKorSimUtils::getMuxConfiguration(const IGraphConfig *graph, int32_t streamId,
                                             MuxConfiguration &configuration)
{
    if (graph == nullptr)
        return err_argument;
    const KeyId holderType = muxHolderType(*graph);
    ve_log_common_debug(VE_LOG_VERBOSE, kTag, "Getting mux config from nodes of type %s", ItemUID::key2str(holderType));
    status_t status = err_none;
    tree::forEachChildOfType(*graph, holderType, [&](IGraphConfig *holder) {
        if (tree::intOr(holder, key_stream_id, -1) != streamId)
            return true;
        status = readHolderMuxes(*holder, configuration);
        return status == err_none;
    });
    return status;
}

}  // namespace Vorn
