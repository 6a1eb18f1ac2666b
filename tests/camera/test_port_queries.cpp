// Port, peer, context and kernel queries over the result graph in
// ports_graph.xml.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <vorn/vorn.h>

#include "fixture_tree.h"
#include "log_capture.h"

using namespace Vorn;
using vorn_test::LogCapture;

namespace {
const std::string kTag = "VORN[XOS]";

using vorn_test::Tree;

Tree load(const std::string &name) { return vorn_test::loadTree(name); }

class PortQueries : public ::testing::Test {
protected:
    void SetUp() override
    {
        graph = load("ports_graph.xml");
        ASSERT_NE(graph, nullptr);
    }
    IGraphConfig *at(const std::string &path) const
    {
        IGraphConfig *item = graph->getDescendantByString(path);
        EXPECT_NE(item, nullptr) << path;
        return item;
    }
    Tree graph;
};

std::vector<uint8_t> bytesOf(const std::string &text, bool &isNull)
{
    uint32_t size = 0xdead;
    uint8_t *buffer = GraphCameraUtil::numString2binary(text, &size);
    isNull = buffer == nullptr;
    std::vector<uint8_t> bytes;
    if (buffer != nullptr)
        bytes.assign(buffer, buffer + size);
    GraphCameraUtil::releaseBinary(buffer);
    return bytes;
}
}  // namespace

TEST_F(PortQueries, ContextAndStreamOfPortsAndVirtualSinks)
{
    LogCapture log;
    EXPECT_EQ(GraphCameraUtil::portGetExecCtxId(at("cam_tnr:input")), 2);
    EXPECT_EQ(GraphCameraUtil::portGetExecCtxId(at("cam_isa:output")), 0);
    EXPECT_EQ(GraphCameraUtil::portGetStreamId(at("cam_preview")), 60000);  // a sink is its own port
    EXPECT_EQ(GraphCameraUtil::portGetExecCtxId(at("cam_preview")), -1);
    EXPECT_TRUE(log.lines().empty()) << log.dump();

    EXPECT_EQ(GraphCameraUtil::portGetStreamId(at("cam_isa:output")), -1);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Failed to get stream_id for port port[cam_isa:output]")) << log.dump();

    IGraphConfig *untyped = at("cam_untyped:port");
    EXPECT_EQ(GraphCameraUtil::portGetExecCtxId(untyped), -1);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Failed to get Node Type"));
    EXPECT_EQ(GraphCameraUtil::portGetExecCtxId(nullptr), -1);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Invalid Node, cannot get the port execCtx id"));
}

TEST_F(PortQueries, DirectionIdContentTypeAndVirtualPorts)
{
    LogCapture log;
    IGraphConfig *isa = at("cam_isa");
    EXPECT_EQ(GraphCameraUtil::nodeGetPortById(isa, 2), at("cam_isa:stats_out"));
    EXPECT_EQ(GraphCameraUtil::nodeGetPortById(isa, 9), nullptr);
    EXPECT_EQ(GraphCameraUtil::nodeGetPortById(nullptr, 0), nullptr);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Couldn't get port. Node is NULL"));

    EXPECT_EQ(GraphCameraUtil::portGetDirection(at("cam_isa:output")), 1);
    EXPECT_EQ(GraphCameraUtil::portGetDirection(at("cam_preview")), 0);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Failed to retrieve port direction, default to input"));

    EXPECT_EQ(GraphCameraUtil::portGetContentType(at("cam_isa:stats_out")), "statistics");
    EXPECT_EQ(GraphCameraUtil::portGetContentType(at("cam_isa:output")), "pixel_data");

    EXPECT_TRUE(GraphCameraUtil::portIsVirtual(at("cam_preview")));
    EXPECT_FALSE(GraphCameraUtil::portIsVirtual(at("cam_isa:output")));
    EXPECT_FALSE(GraphCameraUtil::portIsVirtual(at("cam_untyped:port")));
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Failed to retrieve port(NODE[port]) type, default to input"))
        << log.dump();

    EXPECT_EQ(GraphCameraUtil::print(at("cam_isa:output")), "port[cam_isa:output]");
    EXPECT_EQ(GraphCameraUtil::print(at("cam_isa")), "program_group[cam_isa]");
}

TEST_F(PortQueries, PeersHonourEnabledAndPrivate)
{
    LogCapture log;
    IGraphConfig *peer = nullptr;
    EXPECT_EQ(GraphCameraUtil::portGetPeer(at("cam_isa:output"), &peer), err_none);
    EXPECT_EQ(peer, at("cam_psa:input"));
    EXPECT_EQ(GraphCameraUtil::portGetPeer(at("cam_psa:output"), &peer), err_none);
    EXPECT_EQ(peer, at("cam_preview"));  // a node name alone names a virtual sink

    // Disabled or private: no peer, even with a valid "peer".
    IGraphConfig *untouched = at("cam_isa");
    peer = untouched;
    EXPECT_EQ(GraphCameraUtil::portGetPeer(at("cam_psa:off_port"), &peer), err_noentry);
    EXPECT_EQ(GraphCameraUtil::portGetPeer(at("cam_psa:secret"), &peer), err_noentry);
    EXPECT_EQ(peer, untouched);

    EXPECT_EQ(GraphCameraUtil::portGetPeer(at("cam_isa:stats_out"), &peer), err_argument);
    EXPECT_TRUE(log.has(VE_LOG_VERBOSE, kTag, "Couldn't find peer value for port[cam_isa:stats_out]"));
    EXPECT_EQ(peer, untouched);
    EXPECT_EQ(GraphCameraUtil::portGetPeer(at("cam_psa:lost"), &peer), err_argument);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Failed to find peer by name cam_ghost:input"));
    EXPECT_EQ(peer, nullptr);

    EXPECT_EQ(GraphCameraUtil::portGetPeer(at("cam_isa:output"), nullptr), err_argument);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Invalid Node, cannot get the peer port"));
}

TEST_F(PortQueries, EdgePorts)
{
    LogCapture log;
    EXPECT_TRUE(GraphCameraUtil::isEdgePort(at("cam_psa:output")));   // feeds a virtual sink
    EXPECT_TRUE(GraphCameraUtil::isEdgePort(at("cam_bnlm:input")));   // fed by hw, same context
    EXPECT_TRUE(GraphCameraUtil::isEdgePort(at("cam_isa:input")));    // fed by a source, same context
    EXPECT_FALSE(GraphCameraUtil::isEdgePort(at("cam_psa:input")));   // fed by a processing node
    EXPECT_FALSE(GraphCameraUtil::isEdgePort(at("cam_isa:output")));  // output within the context
    EXPECT_TRUE(GraphCameraUtil::isEdgePort(at("cam_bnlm:output")));  // into context 2
    EXPECT_TRUE(GraphCameraUtil::isEdgePort(at("cam_tnr:input")));    // from context 0
    EXPECT_TRUE(log.lines().empty()) << log.dump();

    EXPECT_FALSE(GraphCameraUtil::isEdgePort(at("cam_psa:off_port")));
    EXPECT_FALSE(log.has("Failed to create fourcc info for source port"));
    EXPECT_FALSE(GraphCameraUtil::isEdgePort(at("cam_psa:lost")));
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Failed to create fourcc info for source port"));

    // A peer node without any context.
    GraphConfigNode::from(at("cam_psa"))->removeDescendant(key_exec_ctx_id);
    log.clear();
    EXPECT_FALSE(GraphCameraUtil::isEdgePort(at("cam_isa:output")));
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Failed to get stream ID of peer PG program_group[cam_psa]")) << log.dump();
}

TEST_F(PortQueries, KernelValues)
{
    LogCapture log;
    uint32_t count = 0;
    EXPECT_EQ(GraphCameraUtil::getKernelCountInPg(at("cam_isa"), count), err_none);
    EXPECT_EQ(count, 2u);

    uint32_t metadata[4] = {90, 91, 92, 93};
    int32_t pal = 0, id = 0, enabled = 0, rcb = 0, branch = 9, sink = 0;
    EXPECT_EQ(
        GraphCameraUtil::kernelGetValues(at("cam_isa:blc_k"), &pal, &id, metadata, &enabled, &rcb, &branch, &sink),
        err_none);
    EXPECT_EQ(pal, 5001);
    EXPECT_EQ(id, 11);
    EXPECT_EQ(std::vector<uint32_t>(metadata, metadata + 4), (std::vector<uint32_t>{1, 2, 3, 93}));
    EXPECT_EQ(enabled, 1);
    EXPECT_EQ(rcb, 1);
    EXPECT_EQ(branch, 0);
    EXPECT_EQ(sink, -1);

    // Four words with blanks and signs; no pal_uuid matters only when asked for.
    IGraphConfig *lsc = at("cam_isa:lsc_k");
    EXPECT_EQ(GraphCameraUtil::kernelGetValues(lsc, nullptr, &id, metadata, &enabled, nullptr, nullptr, nullptr),
              err_none);
    EXPECT_EQ(std::vector<uint32_t>(metadata, metadata + 4),
              (std::vector<uint32_t>{7, static_cast<uint32_t>(-8), 9, 2147483647u}));
    EXPECT_EQ(enabled, 0);
    EXPECT_FALSE(log.has("ERROR: Couldn't get pal_uuid"));
    EXPECT_EQ(GraphCameraUtil::kernelGetValues(lsc, &pal, &id, nullptr, nullptr, nullptr, nullptr, nullptr),
              err_general);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "ERROR: Couldn't get pal_uuid"));

    // More numbers than the record holds, or a piece that is not a number.
    uint32_t guarded[5] = {70, 71, 72, 73, 74};
    EXPECT_EQ(GraphCameraUtil::kernelGetValues(at("cam_psa:bad_meta_k"), nullptr, nullptr, guarded, nullptr, nullptr,
                                               nullptr, nullptr),
              err_argument);
    EXPECT_EQ(GraphCameraUtil::kernelGetValues(at("cam_psa:word_meta_k"), nullptr, nullptr, guarded, nullptr, nullptr,
                                               nullptr, nullptr),
              err_argument);
    EXPECT_EQ(std::vector<uint32_t>(guarded, guarded + 5), (std::vector<uint32_t>{70, 71, 72, 73, 74}));

    EXPECT_EQ(
        GraphCameraUtil::kernelGetValues(at("cam_preview"), nullptr, &id, nullptr, nullptr, nullptr, nullptr, nullptr),
        err_general);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Couldn't get kernel id"));
}

TEST_F(PortQueries, SensorValues)
{
    LogCapture log;
    IGraphConfig *sensor = at("cam_sensor");
    int32_t a = 0, b = 0;
    EXPECT_EQ(GraphCameraUtil::sensorGetBinningFactor(sensor, a, b), err_none);
    EXPECT_EQ(a, 2);
    EXPECT_EQ(b, 1);
    EXPECT_EQ(GraphCameraUtil::sensorGetScalingFactor(sensor, a, b), err_none);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 3);

    GraphConfigNode::from(sensor)->removeDescendant(key_v_factor);
    EXPECT_EQ(GraphCameraUtil::sensorGetBinningFactor(sensor, a, b), err_general);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Error: Couldn't get vertical binning factor"));
    EXPECT_EQ(GraphCameraUtil::sensorGetBinningFactor(at("cam_isa"), a, b), err_general);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Error: Couldn't get horizontal binning factor"));
    EXPECT_EQ(GraphCameraUtil::sensorGetScalingFactor(at("cam_isa"), a, b), err_general);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Error: Couldn't get width scaling num ratio"));

    // Any item of the graph leads to its source.
    std::string type;
    EXPECT_EQ(GraphCameraUtil::sensorGetType(at("cam_psa:output"), type), err_none);
    EXPECT_EQ(type, "bayer");
    GraphConfigNode::from(sensor)->removeDescendant(key_sensor_type);
    EXPECT_EQ(GraphCameraUtil::sensorGetType(sensor, type), err_noentry);
    EXPECT_EQ(type, "NONE");

    Tree noSources = load("merge_descriptor.xml");
    ASSERT_NE(noSources, nullptr);
    type = "old";
    EXPECT_EQ(GraphCameraUtil::sensorGetType(noSources.get(), type), err_noentry);
    EXPECT_EQ(type, "NONE");
    EXPECT_EQ(GraphCameraUtil::sensorGetType(nullptr, type), err_argument);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Null pointer given"));
}

TEST(NumberText, DecimalAndHexadecimalBytes)
{
    bool isNull = false;
    using Bytes = std::vector<uint8_t>;
    EXPECT_EQ(bytesOf("0x1A2", isNull), (Bytes{0xA2, 0x01}));
    EXPECT_EQ(bytesOf("0x1a", isNull), (Bytes{0x1A, 0x00}));  // an even digit count gets a zero byte
    EXPECT_EQ(bytesOf("000X00ff", isNull), (Bytes{0xff, 0x00, 0x00}));
    EXPECT_EQ(bytesOf("0x", isNull), (Bytes{0x00}));
    EXPECT_EQ(bytesOf("258", isNull), (Bytes{0x02, 0x01}));
    EXPECT_EQ(bytesOf("0", isNull), (Bytes{0x00}));
    EXPECT_EQ(bytesOf("4294967295", isNull), (Bytes{0xff, 0xff, 0xff, 0xff, 0x00}));
    EXPECT_FALSE(isNull);

    LogCapture log;
    for (const char *bad : {"abc", "", " 5", "4294967296"}) {
        bytesOf(bad, isNull);
        EXPECT_TRUE(isNull) << bad;
    }
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Number 4294967296 does not fit in 32 bits"));

    const uint32_t freesBefore = g_free_counter;
    uint8_t *buffer = GraphCameraUtil::numString2binary("300", nullptr);  // size is optional
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(buffer[0], 0x2c);
    GraphCameraUtil::releaseBinary(buffer);
    EXPECT_EQ(g_free_counter, freesBefore + 1);
}
