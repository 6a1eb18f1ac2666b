// The outer graph, its pruning, subgraphs and the meta graph, on result
// graphs of generation 6.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <vorn/vorn.h>

#include "analysis_fixture.h"
#include "log_capture.h"

using namespace Vorn;
using vorn_test::BuiltGraph;
using vorn_test::linkNames;
using vorn_test::LogCapture;

namespace {

const std::string kTag = "VORN[XOS]";

std::vector<std::string> names(const std::vector<GraphUtil::GraphNode *> &nodes)
{
    std::vector<std::string> out;
    for (const GraphUtil::GraphNode *node : nodes)
        out.push_back(node->name);
    return out;
}

std::vector<std::string> printed(const std::vector<const IGraphConfig *> &items)
{
    std::vector<std::string> out;
    for (const IGraphConfig *item : items)
        out.push_back(GraphCameraUtil::print(item));
    return out;
}

}  // namespace

TEST(AnalysisInit, RefusesWrongArgumentsAndChangesNothing)
{
    BuiltGraph built("analysis6", 1);
    GraphUtil util;
    LogCapture log;
    EXPECT_EQ(util.init(key_pg_id, built.graph, GDF_VERSION_OKT6), err_argument);
    EXPECT_EQ(util.init(key_stream_id, built.graph, GDF_VERSION_OKT5), err_argument);
    EXPECT_EQ(util.init(key_stream_id, nullptr, GDF_VERSION_OKT6), err_argument);
    EXPECT_EQ(log.count(VE_LOG_ERROR, kTag, "invalid OKT version, subgraph type used or graph settings"), 3u);
    EXPECT_FALSE(util.holdsGraph());
    EXPECT_TRUE(util.graphNodes().empty());
}

TEST(AnalysisOuterGraph, PrunesNodesWithoutSinkAndFormsSubgraphs)
{
    BuiltGraph built("analysis6", 1);
    GraphUtil util;
    LogCapture log;
    ASSERT_EQ(util.init(key_stream_id, built.graph, GDF_VERSION_OKT6), err_none) << log.dump();
    EXPECT_TRUE(util.holdsGraph());

    // "dead" reaches no sink; "extra" was never built; the graph element is
    // not a node.
    std::vector<std::string> outer;
    for (const auto &entry : util.graphNodes())
        outer.push_back(entry.first);
    EXPECT_EQ(outer, (std::vector<std::string>{"bnr", "buffer_src", "isa", "preview", "yuv"}));
    EXPECT_TRUE(log.has(VE_LOG_VERBOSE, kTag, "Node dead not active, removing"));
    EXPECT_TRUE(log.has(VE_LOG_VERBOSE, kTag, "Removed 1 Unusued Nodes - Done!"));
    EXPECT_TRUE(
        log.has(VE_LOG_WARNING, kTag,
                "Connection extra:out->yuv:in skipped due to source not FOUND, Partial graph settings in use!"));
    EXPECT_FALSE(log.contains("Could not get type of graph node"));
    // The removed node's links are gone with it.
    EXPECT_EQ(linkNames(util.graphNodes().at("buffer_src")->outputs), (std::vector<std::string>{"isa=in"}));
    EXPECT_EQ(linkNames(util.graphNodes().at("yuv")->inputs), (std::vector<std::string>{"bnr=out"}));

    ASSERT_EQ(util.subGraphs().size(), 2u);
    const GraphUtil::SubGraphInfo &first = *util.subGraphs().at(0);
    const GraphUtil::SubGraphInfo &second = *util.subGraphs().at(1);
    EXPECT_EQ(names(first.nodes), (std::vector<std::string>{"bnr", "buffer_src", "isa"}));
    EXPECT_EQ(printed(first.pgs), (std::vector<std::string>{"program_group[bnr]", "program_group[isa]"}));
    EXPECT_EQ(first.kernelCount, 3u);
    // "tuning_mode" of the node last in name order.
    EXPECT_EQ(first.tuningMode, 2);
    EXPECT_EQ(first.streamId, 0);
    EXPECT_TRUE(first.inputPorts.empty());
    EXPECT_EQ(printed(first.outputPorts), (std::vector<std::string>{"port[bnr:out]"}));
    EXPECT_EQ(names(second.nodes), (std::vector<std::string>{"preview", "yuv"}));
    EXPECT_EQ(printed(second.inputPorts), (std::vector<std::string>{"port[yuv:in]"}));
    EXPECT_EQ(second.tuningMode, 0);

    // The meta graph: stream 0 feeds stream 1.
    EXPECT_EQ(linkNames(first.outputs), (std::vector<std::string>{"=1"}));
    EXPECT_EQ(linkNames(second.inputs), (std::vector<std::string>{"=0"}));
    EXPECT_TRUE(log.has(VE_LOG_VERBOSE, kTag, "Connection bnr (0)-->yuv(1) crosses subgraphs"));

    ve_isp_tol_program_group group{7, nullptr, 9};
    EXPECT_EQ(util.getKorData(5, group), err_data);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Invalid subgraph(stream_id) id 5"));
    EXPECT_EQ(group.kernel_count, 7u);
    EXPECT_EQ(util.getPgKorData(built.node("preview"), group), err_argument);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Could not find the PG preview in the Subgraphs map"));

    // Marks are clear after the analysis.
    for (const auto &entry : util.graphNodes())
        EXPECT_FALSE(entry.second->visited) << entry.first;
    for (const auto &entry : util.subGraphs())
        EXPECT_FALSE(entry.second->visited) << entry.first;
}

TEST(AnalysisOuterGraph, FailuresOfTheGraphFiles)
{
    {
        BuiltGraph built("analysis6", 2);
        GraphUtil util;
        LogCapture log;
        EXPECT_EQ(util.init(key_stream_id, built.graph, GDF_VERSION_OKT6), err_data);
        EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Graph node isa insertion failed"));
        EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Graph settings analysis failed"));
        // A failed analysis still holds the graph.
        EXPECT_TRUE(util.holdsGraph());
    }
    {
        BuiltGraph built("analysis6", 3);
        GraphUtil util;
        LogCapture log;
        EXPECT_EQ(util.init(key_stream_id, built.graph, GDF_VERSION_OKT6), err_end);
        EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "node lonely is last one, stopping"));
        EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Removal of unused of nodes failed  -256 "));
        for (const auto &entry : util.graphNodes())
            EXPECT_FALSE(entry.second->visited) << entry.first;
    }
}

TEST(AnalysisOuterGraph, TuningModeTextAndSubgraphsByContext)
{
    BuiltGraph built("analysis6", 1);
    auto *isa = GraphConfigNode::from(built.node("isa"));
    auto *bnr = GraphConfigNode::from(built.node("bnr"));
    ASSERT_EQ(isa->removeDescendant(key_tuning_mode), err_none);
    ASSERT_EQ(bnr->removeDescendant(key_tuning_mode), err_none);
    ASSERT_EQ(bnr->insertDescendant(new GraphConfigStrAttribute(" 5th"), key_tuning_mode), err_none);
    GraphUtil util;
    ASSERT_EQ(util.init(key_stream_id, built.graph, GDF_VERSION_OKT6), err_none);
    EXPECT_EQ(util.subGraphs().at(0)->tuningMode, 5);

    ASSERT_EQ(isa->insertDescendant(new GraphConfigStrAttribute("fast"), key_tuning_mode), err_none);
    LogCapture log;
    EXPECT_EQ(util.init(key_stream_id, built.graph, GDF_VERSION_OKT6), err_data);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Invalid tuning_mode \"fast\" of node isa")) << log.dump();

    // Nodes without "exec_ctx_id" share subgraph -1; a second init starts
    // afresh.
    ASSERT_EQ(isa->removeDescendant(key_tuning_mode), err_none);
    ASSERT_EQ(util.init(key_exec_ctx_id, built.graph, GDF_VERSION_OKT6), err_none);
    ASSERT_EQ(util.subGraphs().size(), 1u);
    EXPECT_EQ(util.subGraphs().begin()->first, -1);
    EXPECT_EQ(util.subGraphs().at(-1)->nodes.size(), 5u);
}

TEST(AnalysisOuterGraph, DumpsAreTheSameOnEveryLoad)
{
    // Addresses are the only text that differs between loads.
    const auto dumpOf = [] {
        BuiltGraph built("analysis6", 1);
        GraphUtil util;
        LogCapture log;
        EXPECT_EQ(util.init(key_stream_id, built.graph, GDF_VERSION_OKT6), err_none);
        for (const auto &entry : util.subGraphs())
            util.dumpInnerGraph(entry.first);
        std::string text;
        for (const auto &line : log.lines()) {
            std::string shown = line.text;
            const size_t address = shown.find(" 0x");
            if (address != std::string::npos)
                shown = shown.substr(0, address) + " <address>";
            text += std::to_string(line.level) + " " + shown + "\n";
        }
        return text;
    };
    const std::string first = dumpOf();
    EXPECT_NE(first.find("StreamId 0 execCtx -1 --> Node[program_group]isa "), std::string::npos);
    EXPECT_NE(first.find("* [Output]: port[bnr:out] "), std::string::npos);
    EXPECT_EQ(first, dumpOf());
}
