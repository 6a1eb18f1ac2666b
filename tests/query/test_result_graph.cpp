// Result graphs: construction from result_descriptor.xml and
// result_settings.xml (one use case per settings "key"), the failures that
// stop it, graph overrides and sensor-mode data.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <vorn/vorn.h>

#include "fixture_tree.h"
#include "log_capture.h"

using namespace Vorn;
using vorn_test::intOf;
using vorn_test::kMissing;
using vorn_test::LogCapture;
using vorn_test::peersOf;
using vorn_test::strOf;

namespace {
const std::string kTag = "VORN[XOS]";

struct GraphDeleter {
    void operator()(IGraphConfig *graph) const { GraphQueryManager().destroyGraph(graph); }
};
using Graph = std::unique_ptr<IGraphConfig, GraphDeleter>;

class ResultGraph : public ::testing::Test {
protected:
    void SetUp() override
    {
        mDescriptor = vorn_test::loadTree("result_descriptor.xml");
        mSettings = vorn_test::loadTree("result_settings.xml");
        ASSERT_TRUE(mDescriptor && mSettings);
        mManager.setGraphDescriptor(mDescriptor.get());
        mManager.setGraphSettings(mSettings.get());
    }

    // The settings node whose "key" is key.
    IGraphConfig *settings(int32_t key)
    {
        GraphConfigList found;
        EXPECT_EQ(mManager.queryGraphs({{ItemUID{key_key}, std::to_string(key)}}, found, true), err_none);
        EXPECT_EQ(found.size(), 1u);
        return found.empty() ? nullptr : found.front();
    }

    // Builds the graph of settings key; status receives createGraph's result.
    Graph build(int32_t key, status_t &status)
    {
        IGraphConfig *out = nullptr;
        status = mManager.createGraph(settings(key), &out);
        EXPECT_NE(out, nullptr);
        return Graph(out);
    }

    static const IGraphConfig *at(const Graph &graph, const std::string &path)
    {
        return graph->getDescendantByString(path);
    }

    vorn_test::Tree mDescriptor;
    vorn_test::Tree mSettings;
    GraphQueryManager mManager;
};

using Peers = std::vector<std::string>;

TEST_F(ResultGraph, BuildsConnectedNodesPeersSettingsOverridesAndSensorMode)
{
    LogCapture log;
    status_t status = err_general;
    const Graph graph = build(1, status);
    ASSERT_EQ(status, err_none) << log.dump();
    EXPECT_EQ(mManager.settingsKey(), 1);
    EXPECT_EQ(intOf(graph.get(), key_key), 1);
    EXPECT_EQ(intOf(at(graph, "graph"), key_id), 100);
    EXPECT_EQ(strOf(at(graph, "graph"), key_version), "4");

    // Connections turned into peers on both ends, in connection order.
    EXPECT_EQ(peersOf(at(graph, "sensor:output")), Peers{"isa:input"});
    EXPECT_EQ(peersOf(at(graph, "isa:input")), Peers{"sensor:output"});
    EXPECT_EQ(peersOf(at(graph, "isa:main")), (Peers{"post:in", "video_sink"}));
    EXPECT_TRUE(log.has(VE_LOG_VERBOSE, kTag, "Node(isa) port 'main' already connected once to 'post:in'"));
    EXPECT_EQ(peersOf(at(graph, "post:in")), Peers{"isa:main"});
    EXPECT_EQ(peersOf(at(graph, "preview_sink")), Peers{"post:out"});

    // Virtual sinks: input direction; stream id inherited only when missing.
    EXPECT_EQ(intOf(at(graph, "preview_sink"), key_direction), 0);
    EXPECT_EQ(intOf(at(graph, "preview_sink"), key_stream_id), 60002);
    EXPECT_EQ(intOf(at(graph, "video_sink"), key_stream_id), 7);

    // The static stats connection needs no settings; the sink takes the
    // producer's execution context (as it was before the overrides).
    EXPECT_EQ(peersOf(at(graph, "ae_stats_sink")), Peers{"isa:stats"});
    EXPECT_EQ(intOf(at(graph, "ae_stats_sink"), key_exec_ctx_id), 0);

    // A settings-dependent connection whose source the settings lack.
    EXPECT_TRUE(log.has(VE_LOG_WARNING, kTag, "WARNING: Node(tpg) not found from settings(1), ignoring connection."));
    EXPECT_EQ(at(graph, "tpg"), nullptr);

    // Node built from its base node, then overridden by the graph.
    EXPECT_EQ(strOf(at(graph, "post"), key_type), "program_group");
    EXPECT_EQ(strOf(at(graph, "post"), key_name), "post");
    EXPECT_EQ(intOf(at(graph, "post"), key_pg_id), 77);
    EXPECT_NE(at(graph, "post:out"), nullptr);

    // Settings merged, overrides applied (a later one of one target wins,
    // a missing one is created).
    EXPECT_EQ(strOf(at(graph, "isa:main"), key_format), "NV12");
    EXPECT_EQ(intOf(at(graph, "isa:main"), key_width), 1920);
    EXPECT_EQ(intOf(at(graph, "isa"), key_exec_ctx_id), 5);
    EXPECT_EQ(intOf(at(graph, "isa:main"), key_bpl), 3840);
    EXPECT_TRUE(log.has(VE_LOG_WARNING, kTag, "Adding the missing attribute isa.main.bpl required in graph override."));

    // Pruning: the unconnected pixel port is off, statistics are untouched.
    EXPECT_EQ(intOf(at(graph, "isa:spare"), key_enabled), 0);
    EXPECT_EQ(intOf(at(graph, "isa:stats"), key_enabled), kMissing);

    // Sensor mode: common values, then the chosen mode's.
    EXPECT_EQ(intOf(at(graph, "sensor"), key_fps), 30);
    EXPECT_EQ(intOf(at(graph, "sensor:pixel_array"), key_flip_h), 1);
    EXPECT_EQ(intOf(at(graph, "sensor"), key_width), 4208);
    EXPECT_EQ(intOf(at(graph, "sensor:binner"), key_h_factor), 1);
    EXPECT_EQ(strOf(at(graph, "sensor"), key_name), "sensor");
}

TEST_F(ResultGraph, DisabledSourcePortKeepsNodeButDropsItsConnections)
{
    LogCapture log;
    status_t status = err_general;
    const Graph graph = build(2, status);
    ASSERT_EQ(status, err_none) << log.dump();
    EXPECT_TRUE(log.has(VE_LOG_VERBOSE, kTag, "Source port main disabled, skip destination and peer processing"));
    EXPECT_NE(at(graph, "isa"), nullptr);
    EXPECT_TRUE(peersOf(at(graph, "isa:main")).empty());
    EXPECT_EQ(at(graph, "video_sink:direction"), nullptr);  // merged from settings, never connected
    EXPECT_TRUE(log.has(VE_LOG_WARNING, kTag, "WARNING: Node(post) not found from settings(2), ignoring connection."));
    EXPECT_EQ(at(graph, "post"), nullptr);
    EXPECT_EQ(intOf(at(graph, "sensor:binner"), key_h_factor), 2);
}

TEST_F(ResultGraph, StaticConnectionsAndPeerRedirectWithoutSensor)
{
    LogCapture log;
    status_t status = err_general;
    const Graph graph = build(6, status);
    ASSERT_EQ(status, err_none) << log.dump();
    // "static" = "1" connects nodes the settings never mention.
    EXPECT_EQ(peersOf(at(graph, "tpg:output")), Peers{"isa:input"});
    // The settings' "peer" of the source port replaces the virtual sink.
    EXPECT_TRUE(log.has(VE_LOG_VERBOSE, kTag, "Overriding destination node preview_sink with video_sink"));
    EXPECT_EQ(peersOf(at(graph, "isa:main")), Peers{"video_sink"});
    EXPECT_EQ(peersOf(at(graph, "video_sink")), Peers{"isa:main"});
    EXPECT_EQ(at(graph, "preview_sink"), nullptr);
    // The first source is no sensor: no mode needed.
    EXPECT_EQ(at(graph, "sensor"), nullptr);
    EXPECT_FALSE(log.contains("mode_id"));
}

TEST_F(ResultGraph, OverrideDisablesPortBeforePruning)
{
    LogCapture log;
    status_t status = err_general;
    const Graph graph = build(9, status);
    ASSERT_EQ(status, err_none) << log.dump();
    EXPECT_EQ(intOf(at(graph, "isa:main"), key_enabled), 0);
    EXPECT_EQ(intOf(at(graph, "post:in"), key_enabled), 0);
    EXPECT_TRUE(log.has(VE_LOG_WARNING, kTag, "peer disabled, disabling port in"));
    EXPECT_EQ(intOf(at(graph, "post"), key_pg_id), 12);  // from the base node's own override
}

// Every failure stops construction with a status and leaves a partly built
// root that destroyGraph releases (the sanitizer run checks the release).
TEST_F(ResultGraph, FailuresReportStatusAndMessage)
{
    struct Case {
        int32_t key;
        status_t status;
        uint32_t level;
        std::vector<std::string> messages;
    };
    const std::vector<Case> cases = {
        {3,
         err_data,
         VE_LOG_ERROR,
         {"Sensor Mode quarter not in the list of available modes", "Settings file has incorrect sensor mode data"}},
        {4, err_data, VE_LOG_ERROR, {"could not find graph with id 999 from graph descriptor"}},
        {5,
         err_general,
         VE_LOG_ERROR,
         {"sink connection attribute without port 'program_group' not pointing to virtual sink"}},
        {7,
         err_general,
         VE_LOG_ERROR,
         {"Error: override tag with no attribute value", "Failed to process graph 400 overrides"}},
        {8,
         err_data,
         VE_LOG_ERROR,
         {"Error: Failed to set override of attribute isa:pg_id to fast", "Failed to process graph 500 overrides"}},
        {10, err_general, VE_LOG_WARNING, {"Sensor lacks mode_id. Failed to set sensor mode."}},
        {11,
         err_general,
         VE_LOG_ERROR,
         {"Failed to find base node no_such_base for node orphan",
          "Node(orphan) could not be built from base node no_such_base",
          "Failed to copy dst node(orphan) from descriptor to settings"}},
        {12, err_general, VE_LOG_ERROR, {"Node(isa) has no port named 'nowhere'"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE("settings key " + std::to_string(c.key));
        LogCapture log;
        status_t status = err_none;
        const Graph graph = build(c.key, status);
        EXPECT_EQ(status, c.status);
        for (const std::string &message : c.messages)
            EXPECT_TRUE(log.has(c.level, kTag, message)) << message << "\n" << log.dump();
        EXPECT_EQ(intOf(graph.get(), key_key), c.key);
    }
}

// An item whose tag claims a node but that is no node is passed over where
// graph elements and connections are looked for, not read as a node.
TEST_F(ResultGraph, ItemsTaggedAsNodesThatAreNoNodesAreSkipped)
{
    GraphConfigNode *graphs = vorn_test::nodeAt(mDescriptor, "graphs");
    ASSERT_EQ(graphs->insertDescendant(new GraphConfigItem(ItemType::NODE), key_connection), err_none);
    GraphConfigNode *graph = GraphConfigNode::from(graphs->getDescendant(key_graph));
    ASSERT_EQ(graph->insertDescendant(new GraphConfigItem(ItemType::NODE), key_connection), err_none);

    status_t status = err_general;
    const Graph result = build(1, status);
    EXPECT_EQ(status, err_none);
    EXPECT_EQ(peersOf(at(result, "isa:input")), Peers{"sensor:output"});
}

TEST_F(ResultGraph, PartialRootsHoldWhatWasBuiltBeforeTheFailure)
{
    status_t status = err_none;
    const Graph missingGraph = build(4, status);
    EXPECT_EQ(missingGraph->getDescendantCount(), 1u);  // only "key"

    const Graph overrides = build(7, status);
    EXPECT_EQ(intOf(at(overrides, "isa"), key_pg_id), 41);            // applied before the failure
    EXPECT_EQ(intOf(at(overrides, "isa"), key_stream_id), kMissing);  // listed after it

    const Graph orphan = build(11, status);
    EXPECT_NE(at(orphan, "sensor"), nullptr);  // copied before the sink failed
    EXPECT_EQ(at(orphan, "orphan"), nullptr);
}

TEST_F(ResultGraph, ArgumentsAndStepsWithoutState)
{
    IGraphConfig *out = nullptr;
    EXPECT_EQ(mManager.createGraph(nullptr, &out), err_argument);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(mManager.createGraph(settings(1), nullptr), err_argument);
    mManager.destroyGraph(nullptr);

    GraphQueryManager empty;
    GraphConfigNode root;
    EXPECT_EQ(empty.getGraph(GraphConfigNode::from(settings(1)), &root), err_argument);
    EXPECT_EQ(root.getDescendantCount(), 0u);

    // Without "nodes" in the descriptor no connection can be made.
    GraphConfigNode bareDescriptor;
    empty.setGraphDescriptor(&bareDescriptor);
    LogCapture log;
    EXPECT_EQ(empty.getStaticConnectionData("a:b", "c:d", &root), err_general);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Error, graph_descriptor does not have a 'nodes' node"));
}

TEST_F(ResultGraph, CopyNodeToResultCopiesOnce)
{
    const IGraphConfig *nodes = mDescriptor->getDescendant(key_nodes);
    GraphConfigNode root;
    IGraphConfig *first = mManager.copyNodeToResult(nodes, ItemUID::str2key("isa"), &root);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(mManager.copyNodeToResult(nodes, ItemUID::str2key("isa"), &root), first);
    EXPECT_EQ(root.getDescendantCount(), 1u);
    EXPECT_NE(first, nodes->getDescendant(ItemUID::str2key("isa")));

    LogCapture log;
    EXPECT_EQ(mManager.copyNodeToResult(nodes, key_cipf, &root), nullptr);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Node(cipf) not found from descriptor"));
}

TEST(ResultGraphSteps, PropagateSetsOrAddsAndKeepsTargetWhenSourceLacksIt)
{
    GraphQueryManager manager;
    GraphConfigNode from;
    GraphConfigNode to;
    from.addValue(key_exec_ctx_id, 4);
    from.addValue(key_content_type, std::string("statistics"));

    EXPECT_EQ(manager.propagateIntAttribute(&from, &to, key_exec_ctx_id), err_none);
    EXPECT_EQ(intOf(&to, key_exec_ctx_id), 4);
    GraphConfigItem *source = nullptr;
    ASSERT_EQ(from.getAttribute(key_exec_ctx_id, &source), err_none);
    source->setValue(6);
    EXPECT_EQ(manager.propagateIntAttribute(&from, &to, key_exec_ctx_id), err_none);
    EXPECT_EQ(intOf(&to, key_exec_ctx_id), 6);
    EXPECT_EQ(to.getDescendantCount(), 1u);

    EXPECT_EQ(manager.propagateStrAttribute(&from, &to, key_content_type), err_none);
    EXPECT_EQ(strOf(&to, key_content_type), "statistics");

    to.addValue(key_stream_id, 9);
    EXPECT_NE(manager.propagateIntAttribute(&from, &to, key_stream_id), err_none);
    EXPECT_EQ(intOf(&to, key_stream_id), 9);
}

TEST(ResultGraphSteps, SensorModeData)
{
    GraphConfigNode sensor;
    auto *modes = new GraphConfigNode();
    GraphConfigNode holder;
    holder.insertDescendant(modes, key_sensor_modes);
    modes->addValue(key_fps, 60);
    auto *mode = new GraphConfigNode();
    mode->addValue(key_name, std::string("m1"));
    mode->addValue(key_width, 640);
    modes->insertDescendant(mode, ItemUID::generateKey("sensor_mode"));
    sensor.addValue(key_fps, 30);

    LogCapture log;
    EXPECT_EQ(GraphQueryManager::addSensorModeData(&sensor, modes, "m2"), err_data);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Sensor Mode m2 not in the list of available modes"));
    EXPECT_EQ(intOf(&sensor, key_fps), 60);  // the common values are merged first
    EXPECT_EQ(GraphQueryManager::addSensorModeData(&sensor, modes, "m1"), err_none);
    EXPECT_EQ(intOf(&sensor, key_width), 640);
    EXPECT_EQ(GraphQueryManager::addSensorModeData(nullptr, modes, "m1"), err_argument);
}

// --- overrides on their own ------------------------------------------------------

class Overrides : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto *isa = new GraphConfigNode();
        auto *port = new GraphConfigNode();
        port->addValue(key_enabled, 1);
        port->addValue(key_format, std::string("NV12"));
        isa->insertDescendant(port, key_output);
        mResult.insertDescendant(isa, key_cipf);
    }

    void apply(const char *target, const char *value)
    {
        auto *change = new GraphConfigNode();
        if (target != nullptr)
            change->addValue(key_target, std::string(target));
        if (value != nullptr)
            change->addValue(key_value, std::string(value));
        mGraph.insertDescendant(change, key_apply);
    }

    const IGraphConfig *port() const { return mResult.getDescendantByString("cipf:output"); }

    GraphConfigNode mGraph;
    GraphConfigNode mResult;
};

TEST_F(Overrides, SetsIntegersAndStringsInChildOrder)
{
    auto *connection = new GraphConfigNode();
    connection->addValue(key_target, std::string("cipf:output:enabled"));
    connection->addValue(key_value, std::string("7"));
    mGraph.insertDescendant(connection, key_connection);  // not an override
    EXPECT_EQ(GraphCameraUtil::processGraphOverrides(mGraph, mResult), err_none);
    EXPECT_EQ(intOf(port(), key_enabled), 1);

    apply("cipf:output:enabled", "0");
    apply("cipf:output:format", "P010");
    apply("cipf:output:format", " YUY2 ");
    apply("cipf:output:width", "  -12px");
    EXPECT_EQ(GraphCameraUtil::processGraphOverrides(mGraph, mResult), err_none);
    EXPECT_EQ(intOf(port(), key_enabled), 0);
    EXPECT_EQ(strOf(port(), key_format), " YUY2 ");
    EXPECT_EQ(intOf(port(), key_width), -12);
}

TEST_F(Overrides, UnreachableTargetIsSkippedAndBadValuesFail)
{
    LogCapture log;
    apply("cipf:nowhere:deeper:width", "1");
    apply("cipf:output", "1");  // a node, not an attribute
    apply("cipf:output:enabled", "0");
    EXPECT_EQ(GraphCameraUtil::processGraphOverrides(mGraph, mResult), err_none);
    EXPECT_TRUE(log.has(VE_LOG_WARNING, kTag,
                        "Warning: Couldn't to get attribute cipf:nowhere:deeper:width for override. Skipping."));
    EXPECT_TRUE(
        log.has(VE_LOG_WARNING, kTag, "Warning: Couldn't to get attribute cipf:output for override. Skipping."));
    EXPECT_EQ(intOf(port(), key_enabled), 0);

    for (const char *bad : {"", "x1", "2147483648", "-2147483649"}) {
        SCOPED_TRACE(bad);
        GraphConfigNode graph;
        auto *change = new GraphConfigNode();
        change->addValue(key_target, std::string("cipf:output:enabled"));
        change->addValue(key_value, std::string(bad));
        graph.insertDescendant(change, key_apply);
        EXPECT_EQ(GraphCameraUtil::processGraphOverrides(graph, mResult), err_data);
        EXPECT_EQ(intOf(port(), key_enabled), 0);
    }

    GraphConfigNode noTarget;
    auto *change = new GraphConfigNode();
    change->addValue(key_value, std::string("1"));
    noTarget.insertDescendant(change, key_apply);
    log.clear();
    EXPECT_NE(GraphCameraUtil::processGraphOverrides(noTarget, mResult), err_none);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Error: override tag with no attribute target node"));
}

}  // namespace
