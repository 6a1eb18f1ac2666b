// Merging settings into descriptor nodes, peer lookup and pruning of pixel
// ports without an active peer.
#include <string>

#include <pthread.h>

#include <gtest/gtest.h>

#include <vorn/vorn.h>

#include "log_capture.h"
#include "fixture_tree.h"

using namespace Vorn;
using vorn_test::intOf;
using vorn_test::kMissing;
using vorn_test::LogCapture;
using vorn_test::nodeAt;
using vorn_test::strOf;
using vorn_test::Tree;

namespace {
const std::string kTag = "VORN[XOS]";

struct MergeTrees {
    Tree result = vorn_test::loadTree("merge_descriptor.xml");
    Tree settingsDocument = vorn_test::loadTree("merge_settings.xml");
    GraphConfigNode *root() const { return GraphConfigNode::from(result.get()); }
    GraphConfigNode *settings() const { return GraphConfigNode::from(settingsDocument->getDescendant(key_settings)); }
};

// A chain of depth nodes under key_node below top; returns the last one.
GraphConfigNode *chain(GraphConfigNode &top, int depth)
{
    GraphConfigNode *node = &top;
    for (int i = 0; i < depth; ++i) {
        auto *next = new GraphConfigNode();
        node->insertDescendant(next, key_node);
        node = next;
    }
    return node;
}
}  // namespace

TEST(Merge, SettingsOverDescriptorFeedsPeers)
{
    MergeTrees trees;
    ASSERT_NE(trees.settings(), nullptr);
    EXPECT_EQ(GraphQueryUtils::addDescendantsFromNode(trees.root(), trees.settings(), 13), err_none);

    // Values overwrite, protected attributes stay.
    const GraphConfigNode *output = nodeAt(trees.result, "mrg_isa:output");
    EXPECT_EQ(intOf(output, key_width), 1920);
    EXPECT_EQ(intOf(output, key_height), 1080);
    EXPECT_EQ(strOf(output, key_format), "NV12");
    EXPECT_EQ(strOf(output, key_name), "output");
    EXPECT_EQ(intOf(output, key_direction), 1);
    EXPECT_EQ(intOf(output, key_id), 1);

    // The output port pushed its values into the input port it feeds.
    const GraphConfigNode *input = nodeAt(trees.result, "mrg_psa:input");
    EXPECT_EQ(intOf(input, key_width), 1920);
    EXPECT_EQ(intOf(input, key_height), 1080);
    EXPECT_EQ(strOf(input, key_format), "NV12");
    EXPECT_EQ(strOf(input, key_name), "input");
    EXPECT_EQ(intOf(input, key_direction), 0);
    EXPECT_EQ(intOf(input, key_id), 0);

    // A virtual sink only receives what it lacks.
    const GraphConfigNode *sink = nodeAt(trees.result, "mrg_sink");
    EXPECT_EQ(intOf(sink, key_width), 100);
    EXPECT_EQ(intOf(sink, key_height), 720);
    EXPECT_EQ(intOf(sink, key_stream_id), 60001);
    EXPECT_EQ(strOf(sink, key_type), "sink");

    // Missing nodes are copied; an existing "options" node is left alone.
    EXPECT_EQ(intOf(nodeAt(trees.result, "mrg_isa:mrg_extra"), key_fps), 30);
    const GraphConfigNode *options = GraphConfigNode::from(nodeAt(trees.result, "mrg_isa")->getDescendant(key_options));
    ASSERT_NE(options, nullptr);
    EXPECT_EQ(static_cast<KeyId>(intOf(options, key_attribute)), key_format);
    EXPECT_EQ(options->getDescendantCount(), 2u);
    EXPECT_EQ(strOf(options->getDescendant(ItemUID::str2key("option")), key_value), "keep");
}

TEST(Merge, FlagsAreIndependent)
{
    {
        MergeTrees trees;  // deep merge and copy, no feeding of peers
        EXPECT_EQ(GraphQueryUtils::addDescendantsFromNode(trees.root(), trees.settings(), 9), err_none);
        EXPECT_EQ(intOf(nodeAt(trees.result, "mrg_isa:output"), key_width), 1920);
        EXPECT_EQ(intOf(nodeAt(trees.result, "mrg_psa:input"), key_width), 320);
        EXPECT_EQ(intOf(nodeAt(trees.result, "mrg_sink"), key_height), kMissing);
    }
    {
        MergeTrees trees;  // without deep merge only the missing top-level values arrive
        EXPECT_EQ(GraphQueryUtils::addDescendantsFromNode(trees.root(), trees.settings(), 1), err_none);
        EXPECT_EQ(intOf(nodeAt(trees.result, "mrg_isa:output"), key_width), 640);
        EXPECT_EQ(intOf(trees.result.get(), key_id), 1);  // the settings' own "id"
    }
    GraphConfigNode node;
    EXPECT_EQ(GraphQueryUtils::addDescendantsFromNode(&node, nullptr, 13), err_argument);
}

TEST(Merge, ApplyOptionsAfterEachValue)
{
    Tree tree = vorn_test::loadTree("options_descriptor.xml");
    GraphConfigNode *port = nodeAt(tree, "opt_isa:output");

    // The merged value is written without a check, then its option applied.
    GraphConfigNode values;
    values.addValue(key_format, std::string("b"));
    EXPECT_EQ(GraphQueryUtils::addDescendantsFromNode(port, &values, 8 | 2), err_none);
    EXPECT_EQ(strOf(port, key_format), "b");
    EXPECT_EQ(intOf(port, key_width), 1280);

    // A value without an option is kept; err_noentry does not stop the merge.
    LogCapture log;
    GraphConfigNode unknown;
    unknown.addValue(key_format, std::string("d"));
    unknown.addValue(key_bpp, 10);
    EXPECT_EQ(GraphQueryUtils::addDescendantsFromNode(port, &unknown, 8 | 2), err_none);
    EXPECT_EQ(strOf(port, key_format), "d");
    EXPECT_EQ(intOf(port, key_height), 480);  // bpp 10 applied after it
    EXPECT_TRUE(
        log.has(VE_LOG_WARNING, kTag, "Trying to apply value but no options list available for port[opt_isa:output]."));

    // An option without changes ends the merge with its status.
    GraphConfigNode bare;
    bare.addValue(key_format, std::string("x"));
    bare.addValue(key_tnr, 1);
    EXPECT_EQ(GraphQueryUtils::addDescendantsFromNode(port, &bare, 8 | 2), err_notimplemented);
    EXPECT_EQ(intOf(port, key_tnr), kMissing);
}

TEST(Merge, NestingBeyondAnyDocumentIsRefused)
{
    LogCapture log;
    GraphConfigNode target;
    GraphConfigNode source;
    chain(target, 600);
    chain(source, 600)->addValue(key_width, 5);
    EXPECT_EQ(GraphQueryUtils::addDescendantsFromNode(&target, &source, 8), err_data);
    EXPECT_TRUE(log.contains("nests deeper than 512 levels")) << log.dump();

    // The same through an option whose changes nest too deep.
    GraphConfigNode root;
    chain(root, 600);
    auto *port = new GraphConfigNode();
    root.insertDescendant(port, key_port);
    port->addValue(key_format, std::string("old"));
    auto *options = new GraphConfigNode();
    port->insertDescendant(options, key_options);
    options->addValue(key_attribute, static_cast<int32_t>(key_format));
    auto *option = new GraphConfigNode();
    options->insertDescendant(option, key_value);
    option->addValue(key_value, std::string("deep"));
    auto *apply = new GraphConfigNode();
    option->insertDescendant(apply, key_apply);
    chain(*apply, 600);
    log.clear();
    EXPECT_EQ(port->setValue(key_format, std::string("deep")), err_data);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Failed to apply option attributes"));
    EXPECT_EQ(strOf(port, key_format), "old");
}

// Pool threads often have 256 KB of stack; a merge at the nesting bound of a
// loaded document must fit in it.
TEST(Merge, NestingAtTheBoundMergesOnASmallStack)
{
    struct Job {
        GraphConfigNode target;
        GraphConfigNode source;
        status_t status = err_general;
    } job;
    GraphConfigNode *bottom = chain(job.target, VornParser::kMaxDepth - 1);
    chain(job.source, VornParser::kMaxDepth - 1)->addValue(key_width, 5);

    pthread_attr_t attributes;
    ASSERT_EQ(pthread_attr_init(&attributes), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attributes, 256 * 1024), 0);
    pthread_t thread;
    auto run = [](void *argument) -> void * {
        auto *work = static_cast<Job *>(argument);
        work->status = GraphQueryUtils::addDescendantsFromNode(&work->target, &work->source, 8 | 1);
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attributes, run, &job), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
    EXPECT_EQ(job.status, err_none);
    EXPECT_EQ(intOf(bottom, key_width), 5);
}

// Every level of a document at the nesting bound may be an output port that
// feeds its peer: each feed adds its subtree's nesting below its own level,
// and such a merge still completes.
TEST(Merge, FeedsAtTheNestingBoundComplete)
{
    GraphConfigNode target;
    GraphConfigNode source;
    auto *peerNode = new GraphConfigNode();
    target.insertDescendant(peerNode, key_sensor);
    peerNode->insertDescendant(new GraphConfigNode(), key_port);
    for (GraphConfigNode *top : {&target, &source}) {
        GraphConfigNode *level = top;
        for (uint32_t i = 0; i + 1 < VornParser::kMaxDepth; ++i) {
            auto *next = new GraphConfigNode();
            level->insertDescendant(next, key_node);
            next->addValue(key_direction, 1);
            next->addValue(key_peer, std::string("sensor:port"));
            level = next;
        }
        level->addValue(key_width, 7);
    }
    EXPECT_EQ(GraphQueryUtils::addDescendantsFromNode(&target, &source, 1 | 4 | 8), err_none);
    EXPECT_EQ(intOf(target.getDescendantByString("sensor:port"), key_width), 7);
}

TEST(Peers, PortPeerIgnoresEnabledAndPrivate)
{
    Tree graph = vorn_test::loadTree("ports_graph.xml");
    EXPECT_EQ(GraphQueryUtils::getPortPeer(nodeAt(graph, "cam_isa:output")), nodeAt(graph, "cam_psa:input"));
    EXPECT_EQ(GraphQueryUtils::getPortPeer(nodeAt(graph, "cam_psa:off_port")), nodeAt(graph, "cam_preview"));
    EXPECT_EQ(GraphQueryUtils::getPortPeer(nodeAt(graph, "cam_psa:lost")), nullptr);
    EXPECT_EQ(GraphQueryUtils::getPortPeer(nodeAt(graph, "cam_isa:stats_out")), nullptr);
}

TEST(Pruning, DisablesPixelPortsWithoutActivePeer)
{
    Tree graph = vorn_test::loadTree("ports_graph.xml");
    LogCapture log;
    GraphQueryUtils::disableUnusedPorts(GraphConfigNode::from(graph.get()));

    EXPECT_TRUE(log.has(VE_LOG_VERBOSE, kTag, "disableUnusedPorts"));
    EXPECT_TRUE(log.has(VE_LOG_VERBOSE, kTag, "disableUnusedPorts done!"));
    EXPECT_TRUE(log.has(VE_LOG_WARNING, kTag, "port lost has no peer, disabling it."));
    EXPECT_TRUE(log.has(VE_LOG_WARNING, kTag, "peer disabled, disabling port to_off"));
    EXPECT_EQ(intOf(nodeAt(graph, "cam_psa:lost"), key_enabled), 0);
    EXPECT_EQ(intOf(nodeAt(graph, "cam_psa:to_off"), key_enabled), 0);

    // Statistics ports, private ports and connected ports stay as they were.
    EXPECT_EQ(intOf(nodeAt(graph, "cam_isa:stats_out"), key_enabled), kMissing);
    EXPECT_EQ(intOf(nodeAt(graph, "cam_psa:secret"), key_enabled), kMissing);
    EXPECT_EQ(intOf(nodeAt(graph, "cam_isa:output"), key_enabled), kMissing);
    EXPECT_EQ(intOf(nodeAt(graph, "cam_psa:output"), key_enabled), kMissing);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Failed to find peer by name cam_ghost:input"));
    EXPECT_FALSE(log.contains("off_port")) << log.dump();
    EXPECT_FALSE(log.contains("stats_out")) << log.dump();
    EXPECT_EQ(log.lines().size(), 5u) << log.dump();
}

TEST(Pruning, DisableNodeCreatesEnabled)
{
    GraphConfigNode fresh;
    EXPECT_EQ(GraphQueryUtils::disableNode(&fresh), err_none);
    EXPECT_EQ(intOf(&fresh, key_enabled), 0);
}
