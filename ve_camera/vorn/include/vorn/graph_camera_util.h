// Queries over a result graph: port directions, peers, execution contexts
// and streams, edge ports, item text, and a few sensor and kernel values.
#ifndef VORN_GRAPH_CAMERA_UTIL_H
#define VORN_GRAPH_CAMERA_UTIL_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

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
    // Number of words a kernel's metadata record holds.
    static constexpr size_t kKernelMetadataWords = 4;

    // First direct child of type "port" whose integer "id" equals id; null
    // when there is none or node is null.
    static IGraphConfig *nodeGetPortById(const IGraphConfig *node, int32_t id);
    // Integer "direction" (0 input, 1 output); 0 when missing.
    static int32_t portGetDirection(const IGraphConfig *port);
    // Integer key of the node owning port (of port itself for a virtual
    // sink); -1 on failure.
    static int32_t portGetKey(const IGraphConfig *port, KeyId key);
    static int32_t portGetExecCtxId(const IGraphConfig *port);
    static int32_t portGetStreamId(const IGraphConfig *port);
    // String "content_type"; "pixel_data" when missing.
    static std::string portGetContentType(const IGraphConfig *port);
    // The item named by port's first "peer". err_noentry (peer untouched) for
    // a disabled or private port.
    static status_t portGetPeer(const IGraphConfig *port, IGraphConfig **peer);
    // Whether port is a virtual sink (its "type" is "sink").
    static bool portIsVirtual(const IGraphConfig *port);
    // Whether port crosses the border of its execution context.
    static bool isEdgePort(const IGraphConfig *port);

    static status_t sensorGetBinningFactor(const IGraphConfig *sensor, int32_t &horizontal, int32_t &vertical);
    static status_t sensorGetScalingFactor(const IGraphConfig *sensor, int32_t &numerator, int32_t &denominator);
    // Number of direct children of type "kernel".
    static status_t getKernelCountInPg(const IGraphConfig *programGroup, uint32_t &count);
    // Reads the values of a kernel; every out-pointer may be null and is then
    // skipped. metadata receives the comma-separated "metadata" numbers and
    // holds metadataWords entries; more numbers than that, or a piece that is
    // not a 32-bit number, fails with err_argument and leaves it untouched.
    static status_t kernelGetValues(const IGraphConfig *kernel, int32_t *palUuid, int32_t *id, uint32_t *metadata,
                                    int32_t *enabled, int32_t *rcb, int32_t *branchPoint, int32_t *sinkPort,
                                    size_t metadataWords = kKernelMetadataWords);
    // "sensor_type" of the first source of item's tree; "NONE" when missing.
    static status_t sensorGetType(const IGraphConfig *item, std::string &type);

    // Little-endian bytes of a decimal or "0x" hexadecimal number text, in a
    // buffer to be released with releaseBinary; null for a text that is not a
    // number (or a decimal number above 32 bits). size receives the byte count.
    static uint8_t *numString2binary(const std::string &text, uint32_t *size);
    static void releaseBinary(uint8_t *buffer);

    // "<ancestor name>:<name>", "NA" for a name that cannot be read.
    static std::string getFullName(const IGraphConfig &item);
    // "<type>[<name>]": the full name for demux, kernel, mux and port items,
    // the plain name otherwise; "NODE" as type for an item without one.
    static std::string print(const IGraphConfig *item);
    static void dumpNodeTree(const IGraphConfig *node, int32_t depth);

    // --- graph overrides ------------------------------------------------------

    // Applies the "apply" children (target path, value text) of a descriptor
    // graph element to a result root, in child order.
    static status_t processGraphOverrides(const GraphConfigNode &graph, GraphConfigNode &result);

    // --- execution contexts, sources, sinks and subgraphs ----------------------

    // Appends every active node of type "source" among the direct children of
    // graph's root; err_argument when there is none.
    static status_t getSourceNode(const IGraphConfig *graph, std::vector<IGraphConfig *> &sources);

    // In the operations below, graph is the result root or any node whose
    // direct children are the program groups. Lists are appended to (except
    // where said otherwise); their items point into the graph.

    // "exec_ctx_id" of every program group. Fails with the read status when
    // a program group has none (the others are still collected).
    static status_t getExecCtxIds(const IGraphConfig &graph, std::set<int32_t> &ids);
    // Context id -> "tuning_mode" (-1 when missing) of the program groups;
    // the first mode seen for a context wins. Status as getExecCtxIds.
    static status_t getExecCtxIdsTuningMap(const IGraphConfig &graph, std::map<int32_t, int32_t> &tuningModes);
    // Connections that enter a context from another one (peer text, port
    // full name) or leave the graph through a virtual sink (port full name,
    // sink). inputs receives the pixel-data feeders of type "source" or "hw",
    // outputs the sinks fed with pixel data. err_argument when no connection
    // is found, err_data for a peer without a node.
    static status_t getExecCtxConnectionPorts(const IGraphConfig *graph,
                                              std::vector<std::pair<std::string, std::string>> &connections,
                                              std::vector<std::string> &inputs, std::vector<std::string> &outputs);
    // Program groups whose integer under key (-1 when missing) equals value;
    // err_general when there is none.
    static status_t getProgramGroups(KeyId key, int32_t value, const IGraphConfig *graph,
                                     std::vector<IGraphConfig *> &programGroups);
    // Virtual sinks of graph's root whose "name" contains name (every sink
    // for an empty name); err_noentry when there is none.
    static status_t graphGetSinksByName(const std::string &name, const IGraphConfig *graph,
                                        std::vector<IGraphConfig *> &sinks);
    // Replaces ports by the ports of the given direction through which the
    // subgraph (the nodes of type nodeType whose integer under key equals
    // value) exchanges data with the outside; err_argument when there is none.
    static status_t getSubgraphPorts(KeyId key, int32_t value, int32_t direction, const IGraphConfig &graph,
                                     std::vector<IGraphConfig *> &ports, KeyId nodeType = key_program_group);
    static status_t getInputPorts(KeyId key, int32_t value, const IGraphConfig &graph,
                                  std::vector<IGraphConfig *> &ports, KeyId nodeType = key_program_group);
    // Output ports of the subgraph; without any, the source ports (or the
    // outputs of the non-subgraph nodes they feed) that lead into another
    // subgraph.
    static status_t getOutputPorts(KeyId key, int32_t value, const IGraphConfig &graph,
                                   std::vector<IGraphConfig *> &ports, KeyId nodeType = key_program_group);
    // The two operations above over a subgraph already listed: members are
    // its nodes of type nodeType whose integer under key equals value, in
    // the graph's child order, and sources the graph's nodes of type
    // "source" in child order. Same results, without walking the graph.
    static status_t getSubgraphPortsOf(const std::vector<IGraphConfig *> &members, KeyId key, int32_t value,
                                       int32_t direction, std::vector<IGraphConfig *> &ports,
                                       KeyId nodeType = key_program_group);
    static status_t getOutputPortsOf(const std::vector<IGraphConfig *> &members,
                                     const std::vector<IGraphConfig *> &sources, KeyId key, int32_t value,
                                     std::vector<IGraphConfig *> &ports, KeyId nodeType = key_program_group);
    // First input port of the subgraph that has a peer.
    static status_t getInputPort(KeyId key, int32_t value, const IGraphConfig *graph, IGraphConfig **port,
                                 KeyId nodeType = key_program_group);

    // --- buffers flowing through ports --------------------------------------

    struct PortDescriptor {
        std::string portName;
        std::string pgName;
        int32_t direction = 0;
        int32_t enabled = 1;
        uint32_t uid = 0;
        int32_t width = 0;
        int32_t height = 0;
        std::string format;
    };

    // Reads each requested value ("width", "height", "left", "top", "right",
    // "bottom") from the port itself; err_noentry at the first missing one.
    static status_t getDimensions(const IGraphConfig *port, int32_t *width, int32_t *height = nullptr,
                                  int32_t *left = nullptr, int32_t *top = nullptr, int32_t *right = nullptr,
                                  int32_t *bottom = nullptr);
    // base = (owner "pg_id" << 16) | tag ("AS" simulation, "EX" gpu, "G0"
    // otherwise), 0 without "pg_id"; uid = base + port "id".
    static status_t portGetFourCCInfo(const IGraphConfig *port, uint32_t &base, uint32_t &uid);
    // Enabled state (port, else its peer, else 1) and uid.
    static status_t portGetInfo(const IGraphConfig *port, uint32_t &enabled, uint32_t &uid);
    // Everything a buffer allocation needs. Values missing on the port come
    // from its peer; an unknown format name falls back to the fourcc of its
    // first four characters, then to YUV420_8_SP. An explicit "bpl" wins
    // over the computed stride. A disabled port writes only enabled and uid.
    static status_t portGetFormat(const IGraphConfig *port, uint32_t &enabled, uint32_t &uid, uint32_t &width,
                                  uint32_t &height, uint32_t &fourcc, uint32_t &bpl, uint32_t &bpp);
    // Format name of the port's peer ("" when it has no peer).
    static std::string portGetPeerFormat(const IGraphConfig *port);
    static status_t portGetDescriptor(const IGraphConfig *port, PortDescriptor &descriptor);
    // Sets "format" on the port's peer (through setValue and its options check).
    static status_t applyFormat(const IGraphConfig *port, const std::string &format);
};

}  // namespace Vorn

#endif
