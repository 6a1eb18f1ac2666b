// Analysis of new-version graphs (generations 6 and 7): the result graph is
// read on three levels, all made of one node type.
//
// - The outer graph: one GraphNode per top-level node of the result graph,
//   linked by the "connection" items of its "graph" element. Nodes from
//   which no sink can be reached are removed.
// - The meta graph: one SubGraphInfo per subgraph (the outer nodes sharing a
//   "stream_id", or an "exec_ctx_id", as chosen at init), linked where an
//   outer connection crosses from one subgraph into another.
// - Per subgraph, the imaging inner graph: kernels, routing nodes (mux,
//   demux, split) and terminals (ports) of its program groups (compute
//   blocks on generation 7), linked by "klink" items and by the connections
//   between program groups of the subgraph.
//
// Every walk is iterative, so a chain of any length or a cycle ends with a
// status. Links are ordered by name (inner nodes by their key, subgraphs by
// id), so results and dumps are the same on every run. The visited marks
// are clear after every public operation.
#ifndef VORN_GRAPH_UTIL_H
#define VORN_GRAPH_UTIL_H

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include <vorn/graph_config.h>
#include <vorn/isp_utils.h>
#include <vorn/keys.h>
#include <vorn/status.h>
#include <vorn/ve_isp_records.h>
#include <vorn/vorn_api.h>

namespace Vorn {

class VORN_API GraphUtil {
public:
    struct BaseGraphNode;

    // Links are ordered by the node's place in the container that lists it:
    // subgraphs by id, outer and inner nodes by their key there.
    struct LinkOrder {
        bool operator()(const BaseGraphNode *a, const BaseGraphNode *b) const;
    };
    // Peer node -> text; the first link between two nodes wins.
    using LinkMap = std::map<BaseGraphNode *, std::string, LinkOrder>;

    struct BaseGraphNode {
        virtual ~BaseGraphNode() = default;

        std::string name;
        const IGraphConfig *configNode = nullptr;  // not owned; null for a subgraph
        bool visited = false;
        // Outer graph: the port name on the peer's side; meta graph: the
        // peer subgraph's id; inner graph: the port name on this side.
        LinkMap inputs;
        LinkMap outputs;

        // The node's key in its container (outer: name; inner: its key in
        // the subgraph's imaging nodes) and, for subgraphs, the id; these
        // order the link maps.
        std::string key;
        virtual int32_t orderId() const { return 0; }
    };

    struct GraphNode : BaseGraphNode {
        KeyId type = 0;          // key of the node's "type" text
        int32_t streamId = -1;   // "stream_id", -1 when absent
        int32_t execCtxId = -1;  // "exec_ctx_id", -1 when absent
    };

    enum ImagingNodeType : uint32_t {
        ImagingKernel = 0,
        ImagingMux = 1,         // selects one input
        ImagingDemux = 2,       // selects one output
        ImagingSplit = 3,       // feeds all outputs
        ImagingInputPort = 4,   // a processing-node port a klink starts from
        ImagingOutputPort = 5,  // a processing-node port a klink ends at, or a source subgraph's output
        ImagingAny = 6,         // a new node; as a dump filter, every kind
    };

    // Flags of an inner node.
    static constexpr uint32_t kFlagRcb = 1;           // the kernel's "rcb" is not 0
    static constexpr uint32_t kFlagLoopBack = 2;      // terminal of a connection that leaves and re-enters its node
    static constexpr uint32_t kFlagDisabledPath = 4;  // on a path switched off towards a disabled port

    struct ImagingNode : BaseGraphNode {
        ImagingNodeType type = ImagingAny;
        uint32_t flags = 0;
        std::map<std::string, ve_isp_tol_resolution_info> resInfos;       // per output port name
        std::map<std::string, ve_isp_tol_resolution_info> portHistories;  // per port name
        ve_isp_tol_resolution_info resHistory{};
        ve_isp_tol_run_kernels runKernel{};
        ve_isp_tol_run_kernels *korRunKernel = nullptr;  // slot in the subgraph's run-kernel array
        int32_t activePath = -1;                         // a mux's "active_input", a demux's "active_output"
        // Carries no image: on a path switched off towards a disabled port,
        // or a kernel that is disabled.
        bool switchedOff() const
        {
            return (flags & kFlagDisabledPath) != 0 || (type == ImagingKernel && runKernel.enable >= 2);
        }
        // The parent a visit of the resolution walk last waited for; the next
        // visit resumes the readiness check there. Cleared with the marks.
        BaseGraphNode *waitingFor = nullptr;
    };

    struct SubGraphInfo : BaseGraphNode {
        int32_t orderId() const override { return id; }

        KeyId sgKey = key_stream_id;
        int32_t id = 0;
        int32_t streamId = -1;  // of the subgraph's processing nodes
        int32_t tuningMode = 0;
        std::vector<GraphNode *> nodes;                 // name order
        std::vector<const IGraphConfig *> pgs;          // processing nodes, name order
        std::vector<const IGraphConfig *> inputPorts;   // fed from another subgraph
        std::vector<const IGraphConfig *> outputPorts;  // as GraphCameraUtil::getOutputPorts lists them
        uint64_t kernelCount = 0;
        ve_isp_tol_run_kernels *runKernels = nullptr;  // not owned; the subgraph's pool holds it
        std::map<std::string, std::shared_ptr<ImagingNode>> imagingNodes;
    };

    // The parsed ends of a "klink": "source" and "destination" split at their
    // first ":".
    struct KernelLink {
        std::string srcNode;
        std::string srcPort;
        std::string dstNode;
        std::string dstPort;
        std::string toStr() const { return srcNode + ":" + srcPort + "->" + dstNode + ":" + dstPort; }
    };

    // The records owned for one subgraph or one program group: the
    // run-kernel array (zero-filled) and, for a subgraph, per kernel its
    // resolution history and its array of resolution infos.
    struct KernelInfoMemPool {
        std::unique_ptr<ve_isp_tol_run_kernels[]> runKernels;
        uint64_t count = 0;
        std::vector<std::unique_ptr<ve_isp_tol_resolution_info>> resHistories;
        std::vector<std::unique_ptr<ve_isp_tol_resolution_info[]>> resInfos;
    };

    // A visitor returns err_none to go on, err_end to stop this branch (the
    // node counts as visited), err_retry to stop this branch leaving the node
    // unvisited (another path may visit it); anything else aborts the walk.
    using Visitor = std::function<status_t(BaseGraphNode *)>;

    GraphUtil() = default;
    ~GraphUtil();
    GraphUtil(const GraphUtil &) = delete;
    GraphUtil &operator=(const GraphUtil &) = delete;

    // Analyses the result graph root (not owned, kept for the object's
    // lifetime) of generation version (6 or 7), its subgraphs told apart by
    // sgKey (key_stream_id or key_exec_ctx_id), and builds the run-kernel
    // records of every subgraph and program group with their resolution
    // histories. Every call starts afresh and releases the records of the
    // call before. err_argument for another key, an older generation or a
    // null root (nothing changes then); otherwise the first failure, which
    // leaves the graph held with the analysis built so far but no records
    // (err_nomemory when memory runs out).
    status_t init(KeyId sgKey, const IGraphConfig *graphSettings, GdfVersion version);
    // Forgets the graph and everything built from it.
    void reset();
    // Whether a graph is held (also after a failed init).
    bool holdsGraph() const { return mGraphSettings != nullptr; }

    // The run kernels and tuning mode of a subgraph; err_data for an unknown
    // id. A subgraph without records (no kernels, or a failed init) answers
    // 0 and null. The records stay valid until the next init, reset or
    // destruction.
    status_t getKorData(int32_t subgraphId, ve_isp_tol_program_group &group) const;
    // The run kernels of one program group, copied from its subgraph's in
    // the group's kernel order, and its "tuning_mode" (0 when absent).
    // err_argument for a program group of no subgraph or without records.
    status_t getPgKorData(const IGraphConfig *programGroup, ve_isp_tol_program_group &group);
    const ve_isp_tol_resolution_info &getSourceResHistory() const { return mSourceResHistory; }

    // The outer graph (by name) and the meta graph (by id), for inspection.
    const std::map<std::string, std::shared_ptr<GraphNode>> &graphNodes() const { return mGraphNodes; }
    const std::map<int32_t, std::shared_ptr<SubGraphInfo>> &subGraphs() const { return mSubGraphs; }

    // Releases every run-kernel record and clears the pointers into them.
    void deleteKorStructs();

    // Dumps at error level: the kernels of a subgraph reached from its input
    // ports, its whole inner graph, and the run-kernel arrays of all
    // subgraphs.
    void dumpKernels(int32_t subgraphId);
    void dumpInnerGraph(int32_t subgraphId);
    void dumpKorStructs() const;

    // Switches off (enable 2) the kernels that only lead to, or only come
    // from, ports whose "enabled" is 0. Runs when a subgraph's resolutions
    // are computed.
    status_t disableKernelsToDisabledTerminals(SubGraphInfo &subgraph);

    // Walks from node depth-first, pre-order, along outputs (forward) or
    // inputs, in link order, calling visitor once per node reached. The
    // visited marks stay set until the caller clears them.
    static status_t traverseGraph(BaseGraphNode *node, const Visitor &visitor, bool forward);

private:
    using NodeMap = std::map<std::string, std::shared_ptr<GraphNode>>;
    using InnerMap = std::map<std::string, std::shared_ptr<ImagingNode>>;

    // One connection's texts, read once.
    struct ConnectionEnds {
        const IGraphConfig *item;
        std::string source;
        std::string sink;
    };

    // --- outer graph --------------------------------------------------------
    void clearAnalysis();
    status_t analyzeGraphSettings();
    status_t addGraphNode(const IGraphConfig *node);
    status_t addGraphConnection(const IGraphConfig *connection);
    void indexConnection(const IGraphConfig *connection);
    status_t removeUnusedNodes();
    static status_t activeNodeVisitor(BaseGraphNode *node, std::set<std::string> *active);
    void removeOuterNode(NodeMap::iterator node);
    void resetGraph();
    void dumpOuterGraph();
    static status_t printOuterNode(BaseGraphNode *node);

    // --- subgraphs and the meta graph ----------------------------------------
    int32_t subgraphIdOf(const GraphNode &node) const;
    status_t analyzeSubGraphs();
    void getAvailableSubgraphs(std::set<int32_t> &ids) const;
    status_t collectSubgraphNodes(SubGraphInfo &subgraph, const std::vector<GraphNode *> &nodes);
    status_t readTuningMode(const GraphNode &node, SubGraphInfo &subgraph) const;
    status_t buildInnerGraph(SubGraphInfo &subgraph);
    status_t getCrossSgInPorts(const GraphNode &node, std::vector<const IGraphConfig *> &ports) const;
    status_t collectSubgraphConnections();
    status_t subgraphConnectionVisitor(BaseGraphNode *node);
    void resetMetaGraph();
    void dumpSubGraphInfos() const;

    // --- inner graph ---------------------------------------------------------
    status_t collectPgInnerGraph(SubGraphInfo &subgraph, const IGraphConfig *pg);
    status_t addImagingNode(SubGraphInfo &subgraph, const IGraphConfig *kernel, const std::string &pgName);
    status_t addRoutingNode(SubGraphInfo &subgraph, const IGraphConfig *routing, ImagingNodeType kind,
                            const std::string &pgName);
    status_t addImagingLink(SubGraphInfo &subgraph, const IGraphConfig *klink, const IGraphConfig *pg);
    ImagingNode *addTerminal(SubGraphInfo &subgraph, const IGraphConfig *port, ImagingNodeType kind);
    status_t collectSourceInnerGraph(SubGraphInfo &subgraph);
    status_t collectInterPgConnections(SubGraphInfo &subgraph);
    status_t disableDisconnectedKernels(SubGraphInfo &subgraph);
    static status_t kernelDisconectedVisitor(BaseGraphNode *node, bool forward);
    status_t disableToDisabledPorts(SubGraphInfo &subgraph, ImagingNodeType kind, bool forward, bool &walked);
    static status_t kernelDisableVisitor(BaseGraphNode *node, bool forward);
    static void resetInnerGraph(const SubGraphInfo &subgraph, bool report);
    static status_t dumpInnerNodeVisitor(BaseGraphNode *node, ImagingNodeType filter);
    void dumpFromInputPorts(const SubGraphInfo &subgraph, ImagingNodeType filter, bool framed);
    static ImagingNode *inputTerminal(const SubGraphInfo &subgraph, const IGraphConfig *port);

    // --- run-kernel records ----------------------------------------------------
    status_t buildKorData();
    status_t allocateKorData();
    status_t allocateSubgraphRecords(SubGraphInfo &subgraph);
    status_t allocatePgRecords();
    status_t fillKorRunKernels(SubGraphInfo &subgraph);

    // --- resolution histories ----------------------------------------------------
    status_t populateKorData();
    status_t resHistoryCalcVisitor(BaseGraphNode *node);
    static bool inputSubgraphsVisited(const SubGraphInfo &subgraph);
    status_t walkFromMainInputPorts(SubGraphInfo &subgraph);
    status_t walkFromSecondaryInputPorts(SubGraphInfo &subgraph);
    status_t walkInnerGraph(SubGraphInfo &subgraph, ImagingNode &start);
    status_t calculateSourceResHistory(SubGraphInfo &subgraph, ve_isp_tol_resolution_info &history);
    status_t getUpstreamResHistory(ImagingNode &terminal);
    static status_t getUnvisitedInputPortsPeers(const SubGraphInfo &subgraph, std::vector<ImagingNode *> &peers);
    static status_t resHistoryINodeVisitor(BaseGraphNode *node);
    static status_t getParentHistory(ImagingNode &node, ve_isp_tol_resolution_info &history);
    static bool parentsReady(ImagingNode &node);
    static status_t getKernelResolutionInfos(ImagingNode &node);
    static status_t applyRcbResInfos(ImagingNode &node);

    const IGraphConfig *mGraphSettings = nullptr;  // not owned; set by init
    KeyId mSgKey = key_stream_id;
    ve_isp_tol_resolution_info mSourceResHistory{};
    std::map<int32_t, std::shared_ptr<SubGraphInfo>> mSubGraphs;
    NodeMap mGraphNodes;
    std::vector<const IGraphConfig *> mConnections;  // every connection of "graph", in child order
    std::map<int32_t, KernelInfoMemPool> mKernelPools;
    std::map<const IGraphConfig *, KernelInfoMemPool> mPgKernelPools;
    GdfVersion mVersion = GDF_VERSION_NONE;
    KeyId mPgKey = key_program_group;

    // Indexes of the connections, built once per init: their texts in child
    // order, the positions of those between two outer nodes (by node names),
    // the positions by source text, and the first position by sink text.
    std::vector<ConnectionEnds> mConnectionEnds;
    std::map<std::pair<std::string, std::string>, std::vector<size_t>> mConnectionsByNodes;
    std::unordered_map<std::string, std::vector<size_t>> mConnectionsBySource;
    std::unordered_map<std::string, size_t> mFirstConnectionBySink;
};

}  // namespace Vorn

#endif
