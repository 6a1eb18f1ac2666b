// Execution contexts, sources, sinks and subgraph ports over the result
// graphs in exec_ctx_graph.xml (two contexts) and exec_ctx_single.xml (one
// context, no active source).
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <vorn/vorn.h>

#include "fixture_tree.h"
#include "log_capture.h"

using namespace Vorn;
using vorn_test::LogCapture;
using vorn_test::Tree;

namespace {
const std::string kTag = "VORN[XOS]";

using Items = std::vector<IGraphConfig *>;
using Pairs = std::vector<std::pair<std::string, std::string>>;
using Strings = std::vector<std::string>;

class ExecContexts : public ::testing::Test {
protected:
    void SetUp() override
    {
        graph = vorn_test::loadTree("exec_ctx_graph.xml");
        ASSERT_NE(graph, nullptr);
        single = vorn_test::loadTree("exec_ctx_single.xml");
        ASSERT_NE(single, nullptr);
    }
    static IGraphConfig *at(const Tree &tree, const std::string &path)
    {
        IGraphConfig *item = tree->getDescendantByString(path);
        EXPECT_NE(item, nullptr) << path;
        return item;
    }
    IGraphConfig *at(const std::string &path) const { return at(graph, path); }
    Tree graph;
    Tree single;
};

// Full names ("node:port") or plain names of the items, in list order.
Strings namesOf(const Items &items)
{
    Strings names;
    for (const IGraphConfig *item : items) {
        const IGraphConfig *ancestor = item->getAncestor();
        const bool isPort = vorn_test::strOf(item, key_type) == "port";
        names.push_back(isPort && ancestor != nullptr ? GraphCameraUtil::getFullName(*item) : item->getName());
    }
    return names;
}
}  // namespace

TEST_F(ExecContexts, ContextIdsAndTuningModes)
{
    LogCapture log;
    std::set<int32_t> ids;
    // ec_loose has no context: it is reported even though it is not the last
    // program group, and the others are still collected.
    EXPECT_EQ(GraphCameraUtil::getExecCtxIds(*graph, ids), err_general);  // the failed read
    EXPECT_EQ(ids, (std::set<int32_t>{0, 1}));

    std::set<int32_t> singleIds{9};
    EXPECT_EQ(GraphCameraUtil::getExecCtxIds(*single, singleIds), err_none);
    EXPECT_EQ(singleIds, (std::set<int32_t>{3, 9}));

    std::map<int32_t, int32_t> modes;
    EXPECT_EQ(GraphCameraUtil::getExecCtxIdsTuningMap(*graph, modes), err_general);
    // ec_isa (0, 1) wins over ec_tnr (0, 2); ec_psa has no tuning mode.
    EXPECT_EQ(modes, (std::map<int32_t, int32_t>{{0, 1}, {1, -1}}));
    const std::string mismatch = "Mismatch in tuning mode (1 vs 2) for same execution Context 0!!!" +
                                 std::string(28, ' ') + "Discard current tuning Mode";
    EXPECT_EQ(log.count(VE_LOG_WARNING, kTag, mismatch), 1u) << log.dump();
    EXPECT_TRUE(log.has(VE_LOG_VERBOSE, kTag, "Failed to get exec ctx ID"));
    EXPECT_TRUE(log.has(VE_LOG_VERBOSE, kTag, "Failed to get tuning mode"));
}

TEST_F(ExecContexts, ConnectionsAcrossContexts)
{
    LogCapture log;
    Pairs connections;
    Strings inputs, outputs;
    ASSERT_EQ(GraphCameraUtil::getExecCtxConnectionPorts(graph.get(), connections, inputs, outputs), err_none);
    // Statistics to a sink is a connection but no output; ec_isa:ecp_copy
    // stays inside context 0; the source has no context and is skipped.
    EXPECT_EQ(connections, (Pairs{{"ec_isa:ecp_stats", "ec_stats"},
                                  {"ec_psa:ecp_out", "ec_preview"},
                                  {"ec_isa:ecp_out", "ec_psa:ecp_in"},
                                  {"ec_dma:ecp_out", "ec_psa:ecp_in_dma"},
                                  {"ec_tnr:ecp_out", "ec_video"}}));
    EXPECT_EQ(inputs, (Strings{"ec_dma:ecp_out"}));
    EXPECT_EQ(outputs, (Strings{"ec_preview", "ec_video"}));
    EXPECT_TRUE(log.has(VE_LOG_VERBOSE, kTag, "getExecCtxConnectionPorts: no peer"));  // ecp_off, ec_tnr:ecp_in
    EXPECT_TRUE(log.has(VE_LOG_VERBOSE, kTag, "No Execution Contex for ancestor of port[ec_sensor:ecp_out]"));

    // Nothing found: a failure, even when the caller's list already holds
    // entries (which stay).
    Pairs kept{{"a", "b"}};
    EXPECT_EQ(GraphCameraUtil::getExecCtxConnectionPorts(at("ec_dma"), kept, inputs, outputs), err_argument);
    EXPECT_EQ(kept.size(), 1u);

    log.clear();
    EXPECT_EQ(GraphCameraUtil::getExecCtxConnectionPorts(nullptr, connections, inputs, outputs), err_argument);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "NULL pointer given"));
}

TEST_F(ExecContexts, SourcesProgramGroupsAndSinks)
{
    LogCapture log;
    Items sources;
    // Any item of the graph will do; the disabled ec_spare is skipped.
    ASSERT_EQ(GraphCameraUtil::getSourceNode(at("ec_psa:ecp_in"), sources), err_none);
    EXPECT_EQ(namesOf(sources), (Strings{"ec_sensor"}));
    EXPECT_TRUE(log.has(VE_LOG_VERBOSE, kTag, "Found 1 active sources from the descriptor."));

    Items none;
    EXPECT_EQ(GraphCameraUtil::getSourceNode(single.get(), none), err_argument);
    EXPECT_TRUE(none.empty());
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "ERROR: No active sources. Check that node with type source exists"));

    Items groups;
    EXPECT_EQ(GraphCameraUtil::getProgramGroups(key_exec_ctx_id, 0, graph.get(), groups), err_none);
    EXPECT_EQ(namesOf(groups), (Strings{"ec_isa", "ec_tnr"}));  // not the hw block of context 0
    groups.clear();
    EXPECT_EQ(GraphCameraUtil::getProgramGroups(key_stream_id, 7, graph.get(), groups), err_none);
    EXPECT_EQ(namesOf(groups), (Strings{"ec_isa", "ec_psa"}));
    EXPECT_EQ(GraphCameraUtil::getProgramGroups(key_exec_ctx_id, 4, graph.get(), groups), err_general);
    EXPECT_EQ(groups.size(), 2u);  // kept
    EXPECT_TRUE(
        log.has(VE_LOG_ERROR, kTag, "Failed to find any PG's for exec_ctx_id id 4 BUG(check graph config file)"));

    Items sinks;
    EXPECT_EQ(GraphCameraUtil::graphGetSinksByName("view", at("ec_isa"), sinks), err_none);
    EXPECT_EQ(namesOf(sinks), (Strings{"ec_preview"}));
    sinks.clear();
    EXPECT_EQ(GraphCameraUtil::graphGetSinksByName("", graph.get(), sinks), err_none);
    EXPECT_EQ(namesOf(sinks), (Strings{"ec_preview", "ec_video", "ec_stats"}));
    sinks.clear();
    EXPECT_EQ(GraphCameraUtil::graphGetSinksByName("ec_sensor", graph.get(), sinks), err_noentry);  // not a sink
    EXPECT_TRUE(sinks.empty());
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Failed to find any sinks -check graph config file"));
}

TEST_F(ExecContexts, SubgraphPorts)
{
    LogCapture log;
    Items ports{at("ec_isa")};  // emptied first
    ASSERT_EQ(GraphCameraUtil::getInputPorts(key_exec_ctx_id, 1, *graph, ports), err_none);
    // Fed from context 0 and from a hardware block.
    EXPECT_EQ(namesOf(ports), (Strings{"ec_psa:ecp_in", "ec_psa:ecp_in_dma"}));

    ASSERT_EQ(GraphCameraUtil::getInputPorts(key_exec_ctx_id, 0, *graph, ports), err_none);
    // ec_tnr:ecp_in_copy is fed from inside the subgraph; ec_tnr:ecp_in has no peer.
    EXPECT_EQ(namesOf(ports), (Strings{"ec_isa:ecp_in", "ec_tnr:ecp_in", "ec_tnr:ecp_side_in"}));
    EXPECT_TRUE(log.has(VE_LOG_VERBOSE, kTag, "getSubgraphPorts: no peer found for port ecp_in"));
    EXPECT_TRUE(log.has(VE_LOG_VERBOSE, kTag, "getSubgraphPorts: peer for ecp_in is ecp_out"));

    ASSERT_EQ(GraphCameraUtil::getOutputPorts(key_exec_ctx_id, 0, *graph, ports), err_none);
    EXPECT_EQ(namesOf(ports), (Strings{"ec_isa:ecp_out", "ec_isa:ecp_stats", "ec_tnr:ecp_out"}));

    // By stream: ec_isa -> ec_psa is internal, the disabled ecp_off counts as
    // an unconnected output, ec_tnr has no stream id.
    ASSERT_EQ(GraphCameraUtil::getSubgraphPorts(key_stream_id, 7, 1, *graph, ports, key_program_group), err_none);
    EXPECT_EQ(namesOf(ports), (Strings{"ec_isa:ecp_stats", "ec_psa:ecp_out", "ec_psa:ecp_off"}));
    EXPECT_TRUE(log.has(VE_LOG_VERBOSE, kTag, "getSubgraphPorts: no stream_id for peer port[ec_tnr:ecp_in_copy]"));

    // Other node types form subgraphs too.
    ASSERT_EQ(GraphCameraUtil::getInputPorts(key_exec_ctx_id, 0, *graph, ports, key_hw), err_none);
    EXPECT_EQ(namesOf(ports), (Strings{"ec_dma:ecp_in", "ec_dma:ecp_in_b"}));

    EXPECT_EQ(GraphCameraUtil::getInputPorts(key_exec_ctx_id, 8, *graph, ports), err_argument);
    EXPECT_TRUE(ports.empty());
}

TEST_F(ExecContexts, OutputPortsFallBackToSources)
{
    LogCapture log;
    Items ports;
    // No program group of stream 9: the source ports that lead elsewhere,
    // the outputs of the hardware block both sources feed (once), and the
    // unconnected source port.
    ASSERT_EQ(GraphCameraUtil::getOutputPorts(key_stream_id, 9, *graph, ports), err_none);
    EXPECT_EQ(namesOf(ports), (Strings{"ec_sensor:ecp_out", "ec_dma:ecp_out", "ec_spare:ecp_idle"}));
    EXPECT_TRUE(log.has(VE_LOG_VERBOSE, kTag, "Source port ecp_out crosses Subgraph boundary (9)->(7)"));
    EXPECT_TRUE(log.has(VE_LOG_WARNING, kTag, "PG ec_tnr does not have stream id or exec ctx- FIX it!"));
    EXPECT_TRUE(log.has(VE_LOG_VERBOSE, kTag,
                        "Source port ecp_idle has no peer found. Added to list of subgraph output ports"));
}

TEST_F(ExecContexts, FirstConnectedInputPort)
{
    LogCapture log;
    IGraphConfig *port = nullptr;
    // The disabled esp_in_off comes first in the subgraph's inputs.
    ASSERT_EQ(GraphCameraUtil::getInputPort(key_exec_ctx_id, 3, single.get(), &port), err_none);
    EXPECT_EQ(port, at(single, "es_main:esp_in"));

    IGraphConfig *untouched = at(single, "es_post");
    port = untouched;
    // Stream 5's only input has no peer: the peer lookup's status.
    EXPECT_EQ(GraphCameraUtil::getInputPort(key_stream_id, 5, single.get(), &port), err_argument);
    EXPECT_EQ(port, untouched);
    EXPECT_TRUE(log.has(VE_LOG_VERBOSE, kTag, "Couldn't find peer value for port[es_post:esp_lone]"));
}
