// Buffer descriptions of ports: formats with their fallbacks, strides, crops
// and uids, on a graph loaded from a document.
#include <string>

#include <gtest/gtest.h>

#include <vorn/vorn.h>

#include "fixture_tree.h"
#include "log_capture.h"

using namespace Vorn;
using vorn_test::LogCapture;

namespace {

const std::string kTag = "VORN[XOS]";
constexpr uint32_t kNV12 = 0x4E563132;  // 'N' 'V' '1' '2'
constexpr uint32_t kUnset = 0xDEADBEEF;

struct Format {
    uint32_t enabled = kUnset, uid = kUnset, width = kUnset, height = kUnset, fourcc = kUnset, bpl = kUnset,
             bpp = kUnset;
    status_t status = 1;
};

Format formatOf(const IGraphConfig *port)
{
    Format f;
    f.status = GraphCameraUtil::portGetFormat(port, f.enabled, f.uid, f.width, f.height, f.fourcc, f.bpl, f.bpp);
    return f;
}

class PortFormats : public ::testing::Test {
protected:
    vorn_test::Tree tree = vorn_test::loadTree("port_formats.xml");
    IGraphConfig *port(const std::string &path) { return vorn_test::nodeAt(tree, path); }
};

}  // namespace

TEST_F(PortFormats, UidsFromProgramGroupAndTag)
{
    uint32_t base = 0, uid = 0;
    // pg_id 3, no simulation or subsystem: (3 << 16) | 0x4730 = 0x34730; id 2.
    ASSERT_EQ(GraphCameraUtil::portGetFourCCInfo(port("fmt_pg:out_nv12"), base, uid), err_none);
    EXPECT_EQ(base, 0x34730u);
    EXPECT_EQ(uid, 0x34732u);
    // pg_id 4, subsystem gpu: (4 << 16) | 0x4558 = 0x44558; id 1.
    ASSERT_EQ(GraphCameraUtil::portGetFourCCInfo(port("fmt_sink_pg:in_b"), base, uid), err_none);
    EXPECT_EQ(uid, 0x44559u);
    // simulation wins over subsystem: (1 << 16) | 0x4153 = 0x14153; id 9.
    ASSERT_EQ(GraphCameraUtil::portGetFourCCInfo(port("sim_pg:p"), base, uid), err_none);
    EXPECT_EQ(base, 0x14153u);
    EXPECT_EQ(uid, 0x1415Cu);

    LogCapture log;
    EXPECT_EQ(GraphCameraUtil::portGetFourCCInfo(nullptr, base, uid), err_argument);
    EXPECT_EQ(GraphCameraUtil::portGetFourCCInfo(port("fmt_pg"), base, uid), err_argument);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Failed to get port(program_group[fmt_pg]) id")) << log.dump();
    GraphConfigNode lonely;
    lonely.addValue(key_id, 1);
    EXPECT_EQ(GraphCameraUtil::portGetFourCCInfo(&lonely, base, uid), err_argument);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Failed to get port ancestor"));
}

TEST_F(PortFormats, FormatNamesFourccTextAndDefault)
{
    LogCapture log;
    // A table name: YUV420_8_SP, stride align(641, 64) = 704, 12 bits per pixel.
    Format named = formatOf(port("fmt_pg:out_named"));
    EXPECT_EQ(named.status, err_none);
    EXPECT_EQ(named.enabled, 1u);
    EXPECT_EQ(named.uid, 0x34733u);
    EXPECT_EQ(named.width, 641u);
    EXPECT_EQ(named.height, 480u);
    EXPECT_EQ(named.fourcc, kNV12);
    EXPECT_EQ(named.bpl, 704u);
    EXPECT_EQ(named.bpp, 12u);
    EXPECT_TRUE(log.has(VE_LOG_INFO, kTag, "bpl set to 704 for YUV420_8_SP"));

    // "NV12" is no table name but a fourcc text.
    log.clear();
    Format fourccText = formatOf(port("fmt_pg:out_nv12"));
    EXPECT_EQ(fourccText.status, err_none);
    EXPECT_EQ(fourccText.fourcc, kNV12);
    EXPECT_EQ(fourccText.bpl, 704u);
    EXPECT_EQ(fourccText.bpp, 12u);
    EXPECT_TRUE(
        log.has(VE_LOG_ERROR, kTag, "Error: Couldn't find format NV12 from the formats XML. Fallback to fourcc."));

    // Neither a name nor a fourcc: YUV420_8_SP, stride align(64, 64) = 64.
    log.clear();
    Format unknown = formatOf(port("fmt_pg:out_unknown"));
    EXPECT_EQ(unknown.status, err_none);
    EXPECT_EQ(unknown.fourcc, kNV12);
    EXPECT_EQ(unknown.bpl, 64u);
    EXPECT_TRUE(
        log.has(VE_LOG_ERROR, kTag, "Error: Couldn't find  format by fourcc. Try defaulting to YUV420_8_SP(NV12)"));
}

TEST_F(PortFormats, ExplicitStridesPeersAndIncompletePorts)
{
    LogCapture log;
    Format own = formatOf(port("fmt_pg:out_bpl"));
    EXPECT_EQ(own.status, err_none);
    EXPECT_EQ(own.bpl, 1024u);
    EXPECT_TRUE(log.has(VE_LOG_INFO, kTag, "Overwriting bpl(704) from settings 1024"));

    // Width, height and format come from the peer; the port's own bpl wins.
    log.clear();
    Format fromPeer = formatOf(port("fmt_sink_pg:in_c"));
    EXPECT_EQ(fromPeer.status, err_none);
    EXPECT_EQ(fromPeer.width, 641u);
    EXPECT_EQ(fromPeer.height, 480u);
    EXPECT_EQ(fromPeer.bpl, 2048u);
    EXPECT_EQ(fromPeer.uid, 0x4455Au);
    EXPECT_TRUE(log.has(VE_LOG_INFO, kTag, "Using the peer's attribute value"));
    EXPECT_TRUE(log.has(VE_LOG_INFO, kTag, "Overwriting bpl(704) from settings 2048"));

    // A disabled port writes enabled and uid only.
    Format off = formatOf(port("fmt_pg:out_off"));
    EXPECT_EQ(off.status, err_none);
    EXPECT_EQ(off.enabled, 0u);
    EXPECT_EQ(off.uid, 0x34736u);
    EXPECT_EQ(off.width, kUnset);
    EXPECT_EQ(off.fourcc, kUnset);
    EXPECT_EQ(off.bpl, kUnset);

    // Missing width and height on both ends.
    log.clear();
    Format partial = formatOf(port("fmt_pg:out_partial"));
    EXPECT_EQ(partial.status, err_general);
    EXPECT_EQ(partial.fourcc, kNV12);
    EXPECT_TRUE(log.has(VE_LOG_INFO, kTag, "Could not find port format info: width"));
    EXPECT_TRUE(log.has(VE_LOG_INFO, kTag, "Could not find port format info: height"));
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Part of the port configuration is missing!"));

    // A private port is complete enough as it is.
    log.clear();
    Format secret = formatOf(port("fmt_pg:out_private"));
    EXPECT_EQ(secret.status, err_none);
    EXPECT_EQ(secret.fourcc, kUnset);
    EXPECT_TRUE(log.has(VE_LOG_INFO, kTag, "Could not find port format info. port: port[fmt_pg:out_private]"));
    EXPECT_FALSE(log.has("Part of the port configuration is missing!"));

    log.clear();
    Format none = formatOf(nullptr);
    EXPECT_EQ(none.status, err_argument);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Invalid parameter, could not get port format"));
}

TEST_F(PortFormats, DimensionsAndCrop)
{
    int32_t w = -1, h = -1, l = -1, t = -1, r = -1, b = -1;
    EXPECT_EQ(GraphCameraUtil::getDimensions(port("fmt_sink_pg:in_b"), &w, &h, &l, &t, &r, &b), err_none);
    EXPECT_EQ((std::vector<int32_t>{w, h, l, t, r, b}), (std::vector<int32_t>{320, 240, 1, 2, 3, 4}));

    LogCapture log;
    w = h = l = -1;
    EXPECT_EQ(GraphCameraUtil::getDimensions(port("fmt_pg:out_nv12"), &w, &h, &l), err_noentry);
    EXPECT_EQ(w, 641);  // read before the missing crop stays written
    EXPECT_EQ(h, 480);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Error: Couldn't get left crop"));
    // No peer fallback here.
    EXPECT_EQ(GraphCameraUtil::getDimensions(port("fmt_sink_pg:in_c"), &w), err_noentry);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Error: Couldn't get width"));
    EXPECT_EQ(GraphCameraUtil::getDimensions(port("fmt_sink_pg:in_c"), nullptr, nullptr, nullptr, nullptr, nullptr, &b),
              err_noentry);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Error: Couldn't get bottom crop"));
    EXPECT_EQ(GraphCameraUtil::getDimensions(nullptr, &w), err_argument);
}

TEST_F(PortFormats, PeerFormatDescriptorAndApply)
{
    LogCapture log;
    EXPECT_EQ(GraphCameraUtil::portGetPeerFormat(port("fmt_pg:out_nv12")), "NV12");
    EXPECT_TRUE(log.has(VE_LOG_INFO, kTag, "port: port[fmt_pg:out_nv12], peer: port[fmt_sink_pg:in_a]"));
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag,
                        "Error: Couldn't find format NV12 from the formats XML.Try defaulting to YUV420_8_SP(NV12)"));
    EXPECT_TRUE(log.has(VE_LOG_INFO, kTag, "Getting port info for port[fmt_pg:out_nv12], format NV12"));
    // The peer has no format: its own peer's is used.
    EXPECT_EQ(GraphCameraUtil::portGetPeerFormat(port("fmt_pg:out_bpl")), "YUV420_8_SP");
    log.clear();
    EXPECT_EQ(GraphCameraUtil::portGetPeerFormat(port("sim_pg:p")), "");
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Could not find peer port - Fix your graph"));

    GraphCameraUtil::PortDescriptor d;
    ASSERT_EQ(GraphCameraUtil::portGetDescriptor(port("fmt_sink_pg:in_a"), d), err_none);
    EXPECT_EQ(d.portName, "in_a");
    EXPECT_EQ(d.pgName, "fmt_sink_pg");
    EXPECT_EQ(d.direction, 0);
    EXPECT_EQ(d.enabled, 1);
    EXPECT_EQ(d.uid, 0x44558u);
    // Width missing on the port: width, height and format all from the peer.
    EXPECT_EQ(d.width, 641);
    EXPECT_EQ(d.height, 480);
    EXPECT_EQ(d.format, "NV12");

    GraphCameraUtil::PortDescriptor off;
    off.width = 77;
    ASSERT_EQ(GraphCameraUtil::portGetDescriptor(port("fmt_pg:out_off"), off), err_none);
    EXPECT_EQ(off.enabled, 0);
    EXPECT_EQ(off.width, 77);
    log.clear();
    GraphCameraUtil::PortDescriptor missing;
    EXPECT_EQ(GraphCameraUtil::portGetDescriptor(port("fmt_sink_pg:in_f"), missing), err_data);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Could not find port portDescriptor info: width (from peer)"));

    // applyFormat writes the peer, through its options list.
    IGraphConfig *inA = port("fmt_sink_pg:in_a");
    EXPECT_EQ(GraphCameraUtil::applyFormat(port("fmt_pg:out_nv12"), "YUY2"), err_none);
    EXPECT_EQ(vorn_test::strOf(inA, key_format), "YUY2");
    EXPECT_EQ(vorn_test::strOf(port("fmt_pg:out_nv12"), key_format), "NV12");
    // A value outside the options is refused by the peer and left alone.
    EXPECT_EQ(GraphCameraUtil::applyFormat(port("fmt_pg:out_nv12"), "BA10"), err_none);
    EXPECT_EQ(vorn_test::strOf(inA, key_format), "YUY2");
    log.clear();
    EXPECT_EQ(GraphCameraUtil::applyFormat(port("sim_pg:p"), "NV12"), err_data);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "couldn't find peer for port[sim_pg:p]"));
}
