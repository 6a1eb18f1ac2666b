// Formats applied to a generation-5 result graph: a compressed connection
// into a program group, and the refusals that leave the graph as it was.
#include <map>
#include <string>

#include <gtest/gtest.h>

#include <vorn/vorn.h>

#include "fixture_tree.h"
#include "log_capture.h"

using namespace Vorn;
using vorn_test::LogCapture;

namespace {

const std::string kTag = "VORN[XOS]";

class Compression : public ::testing::Test {
protected:
    vorn_test::Tree graph = vorn_test::loadTree("isp_compression.xml");
    std::shared_ptr<IspUtils> utils = IspUtils::Factory(graph.get());

    IGraphConfig *port(const std::string &path) { return vorn_test::nodeAt(graph, path); }

    // The format of every port of the graph, by "node:port".
    std::map<std::string, std::string> formats()
    {
        std::map<std::string, std::string> out;
        for (const char *node : {"raw_pg", "yuv_pg", "lean_pg", "isys"}) {
            NodeIterator it(port(node));
            while (IGraphConfig *child = it.iterateByType(key_port))
                out[std::string(node) + ":" + child->getName()] = vorn_test::strOf(child, key_format);
        }
        return out;
    }
};

}  // namespace

TEST_F(Compression, CompressedConnectionIntoProgramGroup)
{
    std::map<std::string, std::string> expected = formats();
    // The port itself and the other feeder of a public input get the planar
    // compressed format, the program group's input the requested one, its
    // TNR ports the compressed reference format; the private input's feeder
    // keeps its format.
    expected["raw_pg:out_main"] = "YUV420_8_PL_C";
    expected["raw_pg:out_aux"] = "YUV420_8_PL_C";
    expected["yuv_pg:in_main"] = "YUV420_8_SP_C";
    expected["yuv_pg:tnr_input"] = "YUV420_8_SP_C_TNR";
    expected["yuv_pg:tnr_output"] = "YUV420_8_SP_C_TNR";

    LogCapture log;
    ASSERT_EQ(utils->applyCompression(port("raw_pg:out_main"), "YUV420_8_SP_C"), err_none) << log.dump();
    EXPECT_EQ(formats(), expected);
}

TEST_F(Compression, RefusalsChangeNothing)
{
    const std::map<std::string, std::string> before = formats();
    LogCapture log;
    EXPECT_EQ(utils->applyCompression(port("raw_pg:out_main"), "YUV420_8_PL"), err_argument);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Trying to apply compression with non-compressed format YUV420_8_PL"));
    EXPECT_EQ(utils->applyCompression(port("raw_pg:out_main"), "NO_SUCH_FORMAT"), err_argument);

    // Peers outside program groups (a hardware node, a virtual sink) are
    // refused without a line.
    log.clear();
    EXPECT_EQ(utils->applyCompression(port("raw_pg:out_stats"), "YUV420_8_SP_C"), err_data);
    EXPECT_EQ(utils->applyCompression(port("yuv_pg:out"), "YUV420_8_SP_C"), err_data);
    EXPECT_TRUE(log.lines().empty()) << log.dump();

    // No peer, a private port, no port.
    EXPECT_EQ(utils->applyCompression(port("raw_pg:out_loose"), "YUV420_8_SP_C"), err_argument);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "couldn't find peer for port[raw_pg:out_loose], cannot apply format."));
    EXPECT_EQ(utils->applyCompression(port("yuv_pg:tnr_input"), "YUV420_8_SP_C"), err_noentry);
    EXPECT_EQ(utils->applyFormat(nullptr, "YUV420_8_SP_C"), err_argument);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "couldn't find peer for NULL, cannot apply format.")) << log.dump();
    EXPECT_EQ(formats(), before);

    // A TNR port that refuses the reference format stops before the peer.
    log.clear();
    EXPECT_EQ(utils->applyCompression(port("raw_pg:out_lean"), "YUV420_8_SP_C"), err_noentry);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Couldn't set format YUV420_8_SP_C_TNR for port[lean_pg:tnr_output]"));
    EXPECT_EQ(formats()["lean_pg:in"], "YUV420_8_SP");
}

TEST_F(Compression, ApplyFormatSetsThePeer)
{
    ASSERT_EQ(utils->applyFormat(port("raw_pg:out_aux"), "YUV420_8_PL_C"), err_none);
    EXPECT_EQ(formats()["yuv_pg:in_aux"], "YUV420_8_PL_C");
    EXPECT_EQ(formats()["raw_pg:out_aux"], "RAW");

    // A name the peer's options do not list, and a peer without options,
    // count as done though nothing is written.
    const std::map<std::string, std::string> before = formats();
    EXPECT_EQ(utils->applyFormat(port("raw_pg:out_aux"), "NO_SUCH_FORMAT"), err_none);
    EXPECT_EQ(utils->applyFormat(port("yuv_sink"), "YUV420_8_PL_C"), err_none);
    EXPECT_EQ(utils->applyFormat(port("yuv_pg:in_priv"), "YUV420_8_PL_C"), err_noentry);
    EXPECT_EQ(formats(), before);
}
