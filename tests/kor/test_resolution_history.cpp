// Source histories of sensors, test-pattern generators and buffer sources,
// crop accumulation in 32-bit arithmetic, and the kernels' own resolutions.
#include <climits>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <vorn/vorn.h>

#include "fixture_tree.h"
#include "kor_graph.h"
#include "log_capture.h"

using namespace Vorn;

namespace {

std::vector<int32_t> crop(const ve_rectangle &r) { return {r.left, r.top, r.right, r.bottom}; }
std::vector<int32_t> size(const ve_isp_tol_resolution_info &r)
{
    return {r.input_width, r.input_height, r.output_width, r.output_height};
}

// A 4208x3120 sensor (pixel-array crop 8/4) feeding a receiver whose output
// is 4192x3112; sensorBody is added to the sensor.
std::string sensorGraph(const std::string &sensorBody, bool pixelArray = true)
{
    return std::string(R"(<graph_descriptor><source name="sensor" width="4208" height="3120">)") +
           (pixelArray ? R"(<pixel_array><input width="4208" height="3120" left="8" top="4"/>
              <output width="4192" height="3112"/></pixel_array>)"
                       : "") +
           sensorBody + R"(<port name="port_0" id="0" direction="1" peer="csi:port_in"/></source>
      <hw name="csi"><port name="port_in" id="0" direction="0" peer="sensor:port_0"/>
        <stream2mmio><input width="4192" height="3112" left="0" top="0" right="0" bottom="0"/></stream2mmio>
        <output width="4192" height="3112"/></hw></graph_descriptor>)";
}

struct History {
    status_t status;
    ve_isp_tol_resolution_info info;
};

History sourceHistory(const vorn_test::Tree &tree, const std::string &source)
{
    History h{err_general, {}};
    h.status = TolKorUtils::sourceGetResolutionHistory(h.info, *tree->getDescendantByString(source));
    return h;
}

}  // namespace

TEST(ResolutionHistory, CropAccumulationKeepsFourFractionalBitsAndWrapsIn32Bits)
{
    ve_rectangle sum{0, 0, 0, 0};
    TolKorUtils::accumulateCrop(sum, {10, 20, 30, 40}, 1, 2);
    EXPECT_EQ(crop(sum), (std::vector<int32_t>{20, 40, 60, 80}));
    sum = {0, 0, 0, 0};
    TolKorUtils::accumulateCrop(sum, {10, 0, -10, 0}, 3, 2);
    EXPECT_EQ(crop(sum), (std::vector<int32_t>{6, 0, -7, 0}));  // 106 >> 4 and -107 >> 4

    // Extremes wrap instead of overflowing; no division traps.
    sum = {INT32_MAX, INT32_MIN, 0, 0};
    TolKorUtils::accumulateCrop(sum, {1, -1, INT32_MAX, INT32_MIN}, -1, INT32_MIN);
    TolKorUtils::accumulateCrop(sum, {5, 5, 5, 5}, 0, 1);  // a divisor of 0 counts as 1
    SUCCEED();
}

TEST(ResolutionHistory, SensorHistoryConvertsEveryCropToPixelArrayPixels)
{
    vorn_test::LogCapture log;
    auto plain = vorn_test::parseTree(sensorGraph(""));
    History h = sourceHistory(plain, "sensor");
    ASSERT_EQ(h.status, err_none) << log.dump();
    EXPECT_EQ(size(h.info), (std::vector<int32_t>{4208, 3120, 4192, 3112}));
    EXPECT_EQ(crop(h.info.input_crop), (std::vector<int32_t>{8, 4, 8, 4}));
    EXPECT_EQ(crop(h.info.output_crop), (std::vector<int32_t>{0, 0, 0, 0}));

    auto binned = vorn_test::parseTree(sensorGraph(R"(<binner h_factor="2" v_factor="2">
        <input width="4192" height="3112" left="0" top="0"/><output width="2096" height="1556" left="2" top="2"/></binner>)"));
    h = sourceHistory(binned, "sensor");
    ASSERT_EQ(h.status, err_none);
    EXPECT_EQ(crop(h.info.input_crop), (std::vector<int32_t>{12, 8, 12, 8}));

    // Unequal binning warns and uses the horizontal factor; a scaler with a
    // zero denominator counts it as 1.
    log.clear();
    auto odd = vorn_test::parseTree(sensorGraph(R"(<binner h_factor="2" v_factor="1">
        <input width="4192" height="3112" left="0" top="0"/><output width="2096" height="3112" left="2" top="2"/></binner>
        <scaler num_factor="1" denom_factor="0"><input width="2096" height="3112" left="1" top="1"/>
        <output width="2096" height="3112" left="0" top="0"/></scaler>)"));
    h = sourceHistory(odd, "sensor");
    ASSERT_EQ(h.status, err_none);
    EXPECT_TRUE(log.has(VE_LOG_WARNING, "VORN[XOS]",
                        "Sensor mode specifies different binning factor for horizontal and vertical.this is not "
                        "supported, resolution history will be wrong "));
    EXPECT_TRUE(log.has(VE_LOG_WARNING, "VORN[XOS]", "Scaling Denominator is 0! Wrong setting! Set to 1"));
    EXPECT_EQ(crop(h.info.input_crop), (std::vector<int32_t>{14, 10, 14, 10}));

    // Without a pixel array the sensor's own size stands in for it.
    log.clear();
    auto bare = vorn_test::parseTree(sensorGraph("", false));
    h = sourceHistory(bare, "sensor");
    ASSERT_EQ(h.status, err_none);
    EXPECT_TRUE(log.has("Warning, no pixel_array, make sure source has no pixel array. Defaulting to sensor "
                        "dimensions."));
    EXPECT_EQ(h.info.input_width, 4208);
}

TEST(ResolutionHistory, TestPatternBufferAndUnknownSources)
{
    vorn_test::LogCapture log;
    auto tree = vorn_test::parseTree(R"(<graph_descriptor>
      <source name="tpg"><port name="port_0" id="0" direction="1" width="1920" height="1080" peer="csi:port_in"/></source>
      <hw name="csi"><port name="port_in" id="0" direction="0" peer="tpg:port_0"/>
        <tol_pixelformatter><input width="1920" height="1080" left="0" top="4" right="0" bottom="4"/></tol_pixelformatter>
        <output width="1920" height="1072"/></hw>
      <source name="buffer_src0"><port name="port_0" id="0" direction="1" width="1920" height="1080"/></source>
      <source name="buffer_src1"/>
      <source name="mipi_in"><port name="port_0" id="0" direction="1" width="1" height="1"/></source>
    </graph_descriptor>)");
    History h = sourceHistory(tree, "tpg");
    ASSERT_EQ(h.status, err_none) << log.dump();
    EXPECT_EQ(size(h.info), (std::vector<int32_t>{1920, 1080, 1920, 1072}));
    EXPECT_EQ(crop(h.info.input_crop), (std::vector<int32_t>{0, 4, 0, 4}));

    h = sourceHistory(tree, "buffer_src0");
    ASSERT_EQ(h.status, err_none);
    EXPECT_EQ(size(h.info), (std::vector<int32_t>{1920, 1080, 1920, 1080}));
    EXPECT_EQ(crop(h.info.input_crop), (std::vector<int32_t>{0, 0, 0, 0}));

    EXPECT_EQ(sourceHistory(tree, "buffer_src1").status, err_internal);
    EXPECT_TRUE(log.has("Could not find buffer_src1 port_0- check node description"));
    EXPECT_EQ(sourceHistory(tree, "mipi_in").status, err_notimplemented);
    EXPECT_TRUE(log.has("No support for source of name: mipi_in"));
    EXPECT_TRUE(log.has("Failed to get resolution history for source: mipi_in"));
}

TEST(ResolutionHistory, KernelResolutionsSingleAndPerOutput)
{
    vorn_test::LogCapture log;
    auto tree = vorn_test::parseTree(R"(<graph_descriptor><program_group name="pg">
      <kernel name="one"><input width="100" height="50" left="1" top="2" right="3" bottom="4"/>
        <output width="50" height="25"/></kernel>
      <kernel name="two"><input width="100" height="50" left="0" top="0" right="0" bottom="0"/>
        <output><a width="40" height="20" left="1" top="1" right="1" bottom="1"/><b width="20" height="10"/></output></kernel>
      <kernel name="none"><input width="100" height="50"/><output/></kernel>
    </program_group></graph_descriptor>)");
    const IGraphConfig *one = tree->getDescendantByString("pg:one");
    const IGraphConfig *two = tree->getDescendantByString("pg:two");
    EXPECT_TRUE(TolKorUtils::kernelHasResolutions(one));
    EXPECT_TRUE(TolKorUtils::kernelHasResolutions(two));
    EXPECT_FALSE(TolKorUtils::kernelHasResolutions(tree->getDescendantByString("pg:none")));

    ve_isp_tol_resolution_info single{};
    ASSERT_EQ(TolKorUtils::kernelGetResolutions(one, &single), err_none);
    EXPECT_EQ(size(single), (std::vector<int32_t>{100, 50, 50, 25}));
    EXPECT_EQ(crop(single.input_crop), (std::vector<int32_t>{1, 2, 3, 4}));

    std::map<std::string, ve_isp_tol_resolution_info> outputs;
    ASSERT_EQ(TolKorUtils::kernelGetResolutions(two, outputs), err_none);
    ASSERT_EQ(outputs.size(), 2u);
    EXPECT_EQ(size(outputs["a"]), (std::vector<int32_t>{100, 50, 40, 20}));
    EXPECT_EQ(crop(outputs["a"].output_crop), (std::vector<int32_t>{1, 1, 1, 1}));
    EXPECT_EQ(size(outputs["b"]), (std::vector<int32_t>{100, 50, 20, 10}));
    EXPECT_EQ(crop(outputs["b"].output_crop), (std::vector<int32_t>{0, 0, 0, 0}));
    outputs.clear();
    ASSERT_EQ(TolKorUtils::kernelGetResolutions(one, outputs), err_none);
    EXPECT_EQ(outputs.count(""), 1u);
    // A multi-output kernel has no single record.
    EXPECT_EQ(TolKorUtils::kernelGetResolutions(two, &single), err_argument);
}

TEST(ResolutionHistory, LaterProgramGroupTakesItsInputFromThePortHistory)
{
    vorn_test::LogCapture log;
    vorn_test::KorGraph g(vorn_test::loadTree("kor_chained.xml"));
    ve_isp_tol_resolution_info current{};
    current.input_width = 77;
    TolKorUtils::PortResHistoryMap histories;
    ASSERT_EQ(g.kor.getResHistoryForIntermediatePg(g.node("psa"), current, histories), err_none);
    EXPECT_EQ(current.input_width, 77);
    EXPECT_TRUE(log.has("No res history for stream input (program_group[isa]:port[isa:output])!"));
    histories[g.node("isa:output")].input_width = 5;
    ASSERT_EQ(g.kor.getResHistoryForIntermediatePg(g.node("psa"), current, histories), err_none);
    EXPECT_EQ(current.input_width, 5);
    EXPECT_EQ(g.kor.getResHistoryForIntermediatePg(g.node("sensor"), current, histories), err_general);

    ve_isp_tol_resolution_info source{};
    g.kor.getSourceResolutionHistory(source);
    EXPECT_EQ(source.output_width, 1900);  // the input of the context filled last
}
