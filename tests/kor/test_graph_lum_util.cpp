// Sensor frame parameters on small sensor chains, and the record left alone
// on every failure.
#include <array>
#include <string>

#include <gtest/gtest.h>

#include <vorn/vorn.h>

#include "fixture_tree.h"
#include "log_capture.h"

using namespace Vorn;
using vorn_test::LogCapture;

namespace {

const std::string kTag = "VORN_LUM_UTILS[XOS]";
using Fields = std::array<int, 8>;
const ve_lum_frame_params kUntouched = {0xABCD, 0xABCD, 0xABCD, 0xABCD, 0xAB, 0xAB, 0xAB, 0xAB};

Fields fields(const ve_lum_frame_params &p)
{
    return {p.horizontal_crop_offset,     p.vertical_crop_offset,         p.cropped_image_width,
            p.cropped_image_height,       p.horizontal_scaling_numerator, p.horizontal_scaling_denominator,
            p.vertical_scaling_numerator, p.vertical_scaling_denominator};
}

// <name name="name" attributes><output output/></name>
std::string stage(const std::string &name, const std::string &attributes, const std::string &output)
{
    return "<" + name + " name='" + name + "' " + attributes + "><output " + output + "/></" + name + ">";
}

const std::string kPixelArray = stage("pixel_array", "", "width='4208' height='3120' left='8' top='6'");
const std::string kCrop = "width='1' height='1' left='0' top='0'";

status_t sensorParams(const std::string &sensorChildren, Fields &out)
{
    ve_lum_frame_params params = kUntouched;
    const status_t status = GraphLumUtil::getSensorFrameParams(
        params, vorn_test::parseTree("<graph_descriptor><source name='sensor'>" + sensorChildren +
                                     "</source></graph_descriptor>"));
    out = fields(params);
    return status;
}

}  // namespace

TEST(SensorFrameParams, OffsetsSizesAndRatiosThroughTheChain)
{
    LogCapture log;
    Fields out{};
    ASSERT_EQ(sensorParams(kPixelArray, out), err_none) << log.dump();
    EXPECT_EQ(out, (Fields{8, 6, 4208, 3120, 1, 1, 1, 1}));
    EXPECT_TRUE(log.has(VE_LOG_WARNING, kTag, "Warning, no binner found, make sure sensor has no binner"));
    EXPECT_TRUE(log.has(VE_LOG_WARNING, kTag, "Warning, no scaler found, make sure sensor has no scaler"));

    // Offsets 8 + 4 x 2 and 6 + 2 x 2 (the scaler's crop moves nothing);
    // size ((1048 x 2) / 1) x 2 by ((780 x 2) / 1) x 2; ratios 1/(2 x 2).
    log.clear();
    ASSERT_EQ(sensorParams(
                  kPixelArray +
                      stage("binner", "h_factor='2' v_factor='2'", "width='2104' height='1560' left='4' top='2'") +
                      stage("scaler", "num_factor='1' denom_factor='2'", "width='1048' height='780' left='3' top='5'"),
                  out),
              err_none);
    EXPECT_EQ(out, (Fields{16, 10, 4192, 3120, 1, 4, 1, 4}));
    EXPECT_TRUE(
        log.has(VE_LOG_VERBOSE, kTag, "getSensorFrameParams: scaler output  w: 1048, h: 780, crop w: 3, crop h: 5"));

    // Without a scaler the working size is the pixel array's, not the
    // binner's output; the largest ratio that fits, 1/255, and sizes that
    // keep their low 16 bits: 4208 x 255 = 1073040 -> 24464.
    ASSERT_EQ(sensorParams(kPixelArray + stage("binner", "h_factor='255' v_factor='3'", kCrop), out), err_none);
    EXPECT_EQ(out, (Fields{8, 6, 24464, 9360, 1, 255, 1, 3}));

    // Zero factors count as 1, each with its error line.
    log.clear();
    ASSERT_EQ(sensorParams(
                  kPixelArray + stage("binner", "h_factor='0' v_factor='0'", "width='1' height='1' left='4' top='2'") +
                      stage("scaler", "num_factor='0' denom_factor='0'", "width='400' height='300' left='0' top='0'"),
                  out),
              err_none);
    EXPECT_EQ(out, (Fields{12, 8, 400, 300, 1, 1, 1, 1}));
    for (const char *line :
         {"Horizontal binning is 0! Wrong setting! Set to 1", "Vertical binning is 0! Wrong setting! Set to 1",
          "Scaling Denominator is 0! Wrong setting! Set to 1", "Scaling Numerator is 0! Wrong setting! Set to 1"})
        EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, line)) << line;
}

TEST(SensorFrameParams, FailuresLeaveTheRecordUntouched)
{
    const std::string binner16 = stage("binner", "h_factor='16' v_factor='1'", kCrop);
    const struct {
        std::string chain;
        status_t status;
        const char *line;
    } cases[] = {
        {"", err_general, "Failed to get pixel_array:output"},
        {kPixelArray + stage("binner", "h_factor='2'", kCrop), err_general, "Error: Couldn't get binning factor"},
        {kPixelArray + stage("binner", "h_factor='2' v_factor='2'", "width='1' height='1'"), err_noentry,
         "Failed to get binner output dimensions and crop"},
        {kPixelArray + "<scaler name='scaler' num_factor='1' denom_factor='2'/>", err_internal,
         "Failed to get scaler:output"},
        // Ratios whose terms would be cut by their 8-bit fields.
        {kPixelArray + binner16 + stage("scaler", "num_factor='1' denom_factor='16'", kCrop), err_data,
         "Error: horizontal scaling ratio 1/256 does not fit 8 bits"},
        {kPixelArray + stage("scaler", "num_factor='256' denom_factor='1'", kCrop), err_data,
         "Error: horizontal scaling ratio 256/1 does not fit 8 bits"},
        {kPixelArray + stage("binner", "h_factor='1' v_factor='-2'", kCrop), err_data,
         "Error: vertical scaling ratio 1/-2 does not fit 8 bits"},
        // The size arithmetic wraps instead of trapping on -2^31 / -1.
        {stage("pixel_array", "", "width='-2147483648' height='1' left='0' top='0'") +
             stage("scaler", "num_factor='-1' denom_factor='1'", "width='-2147483648' height='1' left='0' top='0'"),
         err_data, "Error: horizontal scaling ratio -1/1 does not fit 8 bits"},
    };
    for (const auto &c : cases) {
        LogCapture log;
        Fields out{};
        EXPECT_EQ(sensorParams(c.chain, out), c.status) << c.line;
        EXPECT_EQ(out, fields(kUntouched)) << c.line;
        EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, c.line)) << log.dump();
    }

    LogCapture log;
    ve_lum_frame_params params = kUntouched;
    EXPECT_EQ(GraphLumUtil::getSensorFrameParams(
                  params, vorn_test::parseTree("<graph_descriptor><source name='camera'/></graph_descriptor>")),
              err_general);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Error: Couldn't get sensor mode node from the graph"));
    EXPECT_EQ(GraphLumUtil::getSensorFrameParams(params, nullptr), err_argument);
    EXPECT_EQ(fields(params), fields(kUntouched));
}

TEST(PortFrameParams, SizeWithoutCropAtOneToOne)
{
    const std::shared_ptr<const IGraphConfig> graph =
        vorn_test::parseTree("<graph_descriptor><program_group name='pg'><port name='out' width='1920' height='1080'/>"
                             "<port name='half' width='1920'/></program_group></graph_descriptor>");
    ve_lum_frame_params params = kUntouched;
    ASSERT_EQ(GraphLumUtil::getPortFrameParams(params, graph, "pg:out"), err_none);
    EXPECT_EQ(fields(params), (Fields{0, 0, 1920, 1080, 1, 1, 1, 1}));

    LogCapture log;
    params = kUntouched;
    EXPECT_EQ(GraphLumUtil::getPortFrameParams(params, graph, "pg:nowhere"), err_internal);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Error: Couldn't get port \"pg:nowhere\" node from the graph"));
    EXPECT_EQ(GraphLumUtil::getPortFrameParams(params, graph, "pg:half"), err_internal);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Failed to get dimension for port \"pg:half\" node"));
    EXPECT_EQ(GraphLumUtil::getPortFrameParams(params, nullptr, "pg:out"), err_argument);
    EXPECT_EQ(fields(params), fields(kUntouched));
}
