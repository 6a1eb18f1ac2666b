// Simulation utilities on a loaded descriptor: settings clones, integer
// updates, kernel lookups, the program groups and kernels of one graph, and
// mux positions.
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <vorn/vorn.h>

#include "fixture_tree.h"
#include "log_capture.h"

using namespace Vorn;
using vorn_test::intOf;
using vorn_test::LogCapture;

namespace {

const std::string kTag = "VORN_KOR_SIMULATION_UTILS[XOS]";

std::vector<std::string> textOf(const std::vector<TolKorSimUtils::KernelInfo> &kernels)
{
    std::vector<std::string> out;
    for (const auto &kernel : kernels)
        out.push_back(kernel.name + "=" + std::to_string(kernel.palUuid));
    return out;
}

class SimDescriptor : public ::testing::Test {
protected:
    vorn_test::Tree tree = vorn_test::loadTree("sim_descriptor.xml");
    GraphConfigNode *node(const std::string &path) { return vorn_test::nodeAt(tree, path); }
};

}  // namespace

TEST_F(SimDescriptor, CloneIsIndependentAndSetValueUpdatesOrAdds)
{
    GraphConfigNode *clone = nullptr;
    EXPECT_EQ(TolKorSimUtils::cloneSettings(node("nodes"), nullptr), err_argument);
    EXPECT_EQ(TolKorSimUtils::cloneSettings(nullptr, &clone), err_argument);
    ASSERT_EQ(TolKorSimUtils::cloneSettings(node("nodes"), &clone), err_none);
    const vorn_test::Tree owned(clone);
    GraphConfigNode *isa = GraphConfigNode::from(clone->getDescendantByString("isa"));

    LogCapture log;
    ASSERT_EQ(TolKorSimUtils::setValue(isa, key_pg_id, 42), err_none);
    EXPECT_FALSE(log.has("added new attr"));
    // A missing integer is added: the line says so at error level, yet the
    // call succeeds and reports no failed update.
    ASSERT_EQ(TolKorSimUtils::setValue(isa, key_fps, 30), err_none);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "added new attr"));
    EXPECT_FALSE(log.contains("was not able to update"));
    EXPECT_EQ(intOf(isa, key_pg_id) * 100 + intOf(isa, key_fps), 4230);
    EXPECT_EQ(intOf(node("nodes:isa"), key_pg_id), 10);
    EXPECT_EQ(intOf(node("nodes:isa"), key_fps), vorn_test::kMissing);

    EXPECT_EQ(TolKorSimUtils::setValue(nullptr, key_fps, 1), err_argument);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "was not able to update fps"));
}

TEST(SimKernels, PalUuidByKernelName)
{
    const vorn_test::Tree graph = vorn_test::parseTree(
        "<graph_descriptor><program_group name='pg'><kernel name='k1' pal_uuid='11'/><kernel name='k2'/>"
        "<kernel name='k3' pal_uuid='33'/></program_group></graph_descriptor>");
    int32_t uuid = -5;
    EXPECT_EQ(TolKorSimUtils::getKernelPalUuid(graph.get(), "k3", uuid), err_none);
    EXPECT_EQ(uuid, 33);

    LogCapture log;
    uuid = -5;
    EXPECT_EQ(TolKorSimUtils::getKernelPalUuid(graph.get(), "k2", uuid), err_general);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Couldn't get pal uuid for k2"));
    EXPECT_EQ(TolKorSimUtils::getKernelPalUuid(graph.get(), "nope", uuid), err_noentry);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Couldn't find nope"));
    EXPECT_EQ(TolKorSimUtils::getKernelPalUuid(nullptr, "k1", uuid), err_argument);
    EXPECT_EQ(uuid, -5);
}

TEST_F(SimDescriptor, ProgramGroupsOfAGraphAfterItsOverrides)
{
    std::set<IGraphConfig *> groups;
    ASSERT_EQ(TolKorSimUtils::getPgsInGraph(tree.get(), 100, groups), err_none);
    EXPECT_EQ(groups, (std::set<IGraphConfig *>{node("nodes:bayer"), node("nodes:isa")}));
    EXPECT_EQ(intOf(node("nodes:isa"), key_stream_id), 5);  // the override changed the descriptor

    LogCapture log;
    groups.clear();
    EXPECT_EQ(TolKorSimUtils::getPgsInGraph(tree.get(), 999, groups), err_noentry);
    EXPECT_TRUE(log.has(VE_LOG_WARNING, kTag, "Graph id 999 not found"));
    // A connection without sink: the groups found before it stay.
    EXPECT_EQ(TolKorSimUtils::getPgsInGraph(tree.get(), 200, groups), err_data);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Connection without src or sink attribute, invalid!"));
    EXPECT_EQ(groups, (std::set<IGraphConfig *>{node("nodes:isa")}));
    // A broken override fails the call instead of listing a half-changed graph.
    EXPECT_NE(TolKorSimUtils::getPgsInGraph(tree.get(), 300, groups), err_none);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Failed to process graph 300 overrides"));

    const struct {
        const char *document;
        status_t status;
        const char *line;
    } broken[] = {
        {"<graph_descriptor><nodes/></graph_descriptor>", err_argument, "No Graphs found from input GDF node"},
        {"<graph_descriptor><graphs/></graph_descriptor>", err_argument, "No Nodes found from input GDF node"},
        {"<graph_descriptor><nodes/><graphs><graph name='g'/></graphs></graph_descriptor>", err_data,
         "Graph without id attribute, invalid"},
    };
    for (const auto &c : broken) {
        const vorn_test::Tree descriptor = vorn_test::parseTree(c.document);
        EXPECT_EQ(TolKorSimUtils::getPgsInGraph(descriptor.get(), 1, groups), c.status) << c.document;
        EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, c.line)) << log.dump();
    }
}

TEST_F(SimDescriptor, KernelListsInConnectionOrder)
{
    // "bayer" is named first by the connections, and its kernel without
    // pal_uuid ends its own list only; "spare" is in stream 5 but not in the
    // graph; the graph's override moves "isa" to stream 5.
    std::vector<TolKorSimUtils::KernelInfo> kernels{{"kept", 1}};
    ASSERT_EQ(TolKorSimUtils::getKernelList(tree.get(), 100, 5, kernels), err_none);
    EXPECT_EQ(textOf(kernels), (std::vector<std::string>{"kept=1", "bayer_dm=3100", "isa_blc=2100", "isa_dpc=2101"}));

    kernels.clear();
    EXPECT_EQ(TolKorSimUtils::getKernelList(tree.get(), 100, 7, kernels), err_none);
    EXPECT_TRUE(kernels.empty());
    LogCapture log;
    EXPECT_EQ(TolKorSimUtils::getKernelList(tree.get(), 999, 5, kernels), err_noentry);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Error retrieving pg from graph info!"));

    EXPECT_EQ(TolKorSimUtils::getKernelInfoList(*node("nodes:bayer"), kernels), err_general);
    EXPECT_EQ(textOf(kernels), (std::vector<std::string>{"bayer_dm=3100"}));
}

TEST(SimMuxes, PositionsOfTheStreamsProcessingNodes)
{
    const std::string nodes = "<compute_block name='cb0' stream_id='3'><demux name='split' active_output='2'/>"
                              "<mux name='join' active_input='1'/></compute_block>"
                              "<compute_block name='cb1' stream_id='4'><demux name='other' active_output='9'/>"
                              "</compute_block><program_group name='pg0' stream_id='3'>"
                              "<demux name='pg_split' active_output='5'/><mux name='pg_join'/></program_group>"
                              "</graph_descriptor>";
    const vorn_test::Tree okt7 = vorn_test::parseTree("<graph_descriptor><graph version='OKT7'/>" + nodes);
    const vorn_test::Tree okt6 = vorn_test::parseTree("<graph_descriptor><graph version='OKT6'/>" + nodes);

    LogCapture log;
    TolKorSimUtils::MuxConfiguration positions{{"kept", 8}, {"join", 0}};
    ASSERT_EQ(TolKorSimUtils::getMuxConfiguration(okt7.get(), 3, positions), err_none);
    EXPECT_EQ(positions, (TolKorSimUtils::MuxConfiguration{{"kept", 8}, {"join", 1}, {"split", 2}}));
    EXPECT_TRUE(log.has(VE_LOG_VERBOSE, kTag, "Getting mux config from nodes of type compute_block"));

    // Program groups otherwise; a mux without position ends the call, the
    // demultiplexer read before it stays.
    positions.clear();
    EXPECT_EQ(TolKorSimUtils::getMuxConfiguration(okt6.get(), 3, positions), err_internal);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Failed to get active input for muxer pg_join"));
    EXPECT_EQ(positions, (TolKorSimUtils::MuxConfiguration{{"pg_split", 5}}));

    const vorn_test::Tree broken =
        vorn_test::parseTree("<graph_descriptor><program_group name='pg' stream_id='1'><demux "
                             "name='d'/></program_group></graph_descriptor>");
    EXPECT_EQ(TolKorSimUtils::getMuxConfiguration(broken.get(), 1, positions), err_internal);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Failed to get active output for demuxer d"));
    EXPECT_EQ(TolKorSimUtils::getMuxConfiguration(nullptr, 1, positions), err_argument);
}
