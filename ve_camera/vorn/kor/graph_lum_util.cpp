// Sensor frame parameters from the sensor node of a result graph: the sensor
// chain is pixel array -> binner -> scaler, each stage with an "output" node
// that carries its size and crop.
#include <vorn/graph_lum_util.h>

#include <cstdint>

#include <ve_cipr/ve_log_common.h>
#include <vorn/graph_camera_util.h>

#include "log_tags.h"

namespace Vorn {

namespace {
constexpr const char *kTag = kLumUtilsTag;
constexpr const char *kSensorFunction = "getSensorFrameParams";

// Largest value a ratio field holds.
constexpr int64_t kRatioFieldMax = UINT8_MAX;

// Signed 32-bit results of 64-bit arithmetic: the low 32 bits, the wrap the
// frame arithmetic is defined with, without signed overflow.
int32_t wrap32(int64_t value) { return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value))); }
int32_t multiply32(int32_t a, int32_t b) { return wrap32(static_cast<int64_t>(a) * b); }
// Quotient truncating toward zero; INT32_MIN / -1 wraps instead of trapping.
int32_t divide32(int32_t a, int32_t b) { return wrap32(static_cast<int64_t>(a) / b); }

// The low 16 bits of a size or offset.
uint16_t low16(int32_t value) { return static_cast<uint16_t>(static_cast<uint32_t>(value)); }

// What the sensor chain says about the frame, in 32-bit working values.
struct SensorFrame {
    int32_t horizontalOffset = 0;
    int32_t verticalOffset = 0;
    int32_t width = 0;  // working size: the pixel array's, or the scaler's output
    int32_t height = 0;
    int32_t binH = 1;
    int32_t binV = 1;
    int32_t scaleNum = 1;
    int32_t scaleDenom = 1;
    int32_t croppedWidth = 0;
    int32_t croppedHeight = 0;
    int64_t horizontalDenom = 1;  // binH x scaleDenom
    int64_t verticalDenom = 1;    // scaleDenom x binV
};

// Width, height, crop left and crop top of a stage's output.
struct StageOutput {
    int32_t width = 0;
    int32_t height = 0;
    int32_t left = 0;
    int32_t top = 0;
};

// Reads an output's values; an unreadable one logs unreadLine.
status_t readOutputValues(const IGraphConfig *output, const char *unreadLine, StageOutput &values)
{
    const status_t status =
        GraphCameraUtil::getDimensions(output, &values.width, &values.height, &values.left, &values.top);
    if (status != err_none)
        ve_log_common_debug(VE_LOG_ERROR, kTag, "%s", unreadLine);
    return status;
}

// Reads the values of a binner's or scaler's "output"; err_internal, with
// missingLine, when it has none.
status_t readStageOutput(const IGraphConfig &stage, const char *missingLine, const char *unreadLine,
                         StageOutput &values)
{
    const IGraphConfig *output = stage.getDescendant(key_output);
    if (output == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "%s", missingLine);
        return err_internal;
    }
    return readOutputValues(output, unreadLine, values);
}

using FactorReader = status_t (*)(const IGraphConfig *, int32_t &, int32_t &);

// The sensor's stage under key and its two factors. Without such a stage,
// stage is null after absentLine is logged as a warning; factors that
// cannot be read log readFailLine and fail with the read's status.
status_t readStageFactors(const IGraphConfig &sensor, KeyId key, const char *absentLine, FactorReader read,
                          const char *readFailLine, int32_t &first, int32_t &second, const IGraphConfig *&stage)
{
    stage = sensor.getDescendant(key);
    if (stage == nullptr) {
        ve_log_common_debug(VE_LOG_WARNING, kTag, "%s", absentLine);
        return err_none;
    }
    const status_t status = read(stage, first, second);
    if (status != err_none)
        ve_log_common_debug(VE_LOG_ERROR, kTag, "%s", readFailLine);
    return status;
}

// A factor of 0 is a wrong setting and counts as 1, with line logged.
int32_t oneIfZero(int32_t factor, const char *line)
{
    if (factor != 0)
        return factor;
    ve_log_common_debug(VE_LOG_ERROR, kTag, "%s", line);
    return 1;
}

// The pixel array's output gives the first offsets and the working size.
status_t readPixelArray(const IGraphConfig &sensor, SensorFrame &frame)
{
    const IGraphConfig *output = sensor.getDescendantByString("pixel_array:output");
    if (output == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to get pixel_array:output");
        return err_general;
    }
    StageOutput values;
    const status_t status = readOutputValues(output, "Failed to get pixel array output dimension and crop", values);
    if (status != err_none)
        return status;
    ve_log_common_debug(VE_LOG_VERBOSE, kTag, "%s: PixelArray output: w: %d, h: %d, crop l: %d, crop t: %d",
                        kSensorFunction, values.width, values.height, values.left, values.top);
    frame.horizontalOffset = values.left;
    frame.verticalOffset = values.top;
    frame.width = values.width;
    frame.height = values.height;
    return err_none;
}

// The binner's factors, and its output crop moved into pixel-array pixels.
status_t applyBinner(const IGraphConfig &sensor, SensorFrame &frame)
{
    const IGraphConfig *binner = nullptr;
    status_t status = readStageFactors(sensor, key_binner, "Warning, no binner found, make sure sensor has no binner",
                                       GraphCameraUtil::sensorGetBinningFactor, "Error: Couldn't get binning factor",
                                       frame.binH, frame.binV, binner);
    if (status != err_none || binner == nullptr)
        return status;
    frame.binH = oneIfZero(frame.binH, "Horizontal binning is 0! Wrong setting! Set to 1");
    frame.binV = oneIfZero(frame.binV, "Vertical binning is 0! Wrong setting! Set to 1");

    StageOutput values;
    status = readStageOutput(*binner, "Failed to get binner:output", "Failed to get binner output dimensions and crop",
                             values);
    if (status != err_none)
        return status;
    ve_log_common_debug(VE_LOG_VERBOSE, kTag,
                        "%s: binner output w: %d, %d, binning: w: %d, h: %d, crop w: %d, crop h: %d", kSensorFunction,
                        values.width, values.height, frame.binH, frame.binV, values.left, values.top);
    frame.horizontalOffset = wrap32(static_cast<int64_t>(frame.horizontalOffset) + multiply32(values.left, frame.binH));
    frame.verticalOffset = wrap32(static_cast<int64_t>(frame.verticalOffset) + multiply32(values.top, frame.binV));
    return err_none;
}

// The scaler's ratio, and its output size as the working size. Its crop
// does not move the frame.
status_t applyScaler(const IGraphConfig &sensor, SensorFrame &frame)
{
    const IGraphConfig *scaler = nullptr;
    status_t status = readStageFactors(sensor, key_scaler, "Warning, no scaler found, make sure sensor has no scaler",
                                       GraphCameraUtil::sensorGetScalingFactor, "Error: Couldn't get scaling factor",
                                       frame.scaleNum, frame.scaleDenom, scaler);
    if (status != err_none || scaler == nullptr)
        return status;
    frame.scaleDenom = oneIfZero(frame.scaleDenom, "Scaling Denominator is 0! Wrong setting! Set to 1");
    frame.scaleNum = oneIfZero(frame.scaleNum, "Scaling Numerator is 0! Wrong setting! Set to 1");

    StageOutput values;
    status = readStageOutput(*scaler, "Failed to get scaler:output", "Failed to get scaler output dimensions and crop",
                             values);
    if (status != err_none)
        return status;
    ve_log_common_debug(VE_LOG_VERBOSE, kTag, "%s: scaler output  w: %d, h: %d, crop w: %d, crop h: %d",
                        kSensorFunction, values.width, values.height, values.left, values.top);
    frame.width = values.width;
    frame.height = values.height;
    return err_none;
}

// The working size scaled back and unbinned into pixel-array pixels; the
// binning factor multiplies after the division.
void computeCroppedSize(SensorFrame &frame)
{
    frame.croppedWidth = multiply32(divide32(multiply32(frame.width, frame.scaleDenom), frame.scaleNum), frame.binH);
    frame.croppedHeight = multiply32(divide32(multiply32(frame.height, frame.scaleDenom), frame.scaleNum), frame.binV);
}

bool fitsRatioField(int64_t value) { return value >= 1 && value <= kRatioFieldMax; }

// Frame pixels per pixel-array pixels in each direction; err_data when a
// term would not survive the 8-bit fields (a cut numerator, or a
// denominator cut to 0, would describe another frame).
status_t computeRatios(SensorFrame &frame)
{
    frame.horizontalDenom = static_cast<int64_t>(frame.binH) * frame.scaleDenom;
    frame.verticalDenom = static_cast<int64_t>(frame.scaleDenom) * frame.binV;
    const bool horizontalFits = fitsRatioField(frame.scaleNum) && fitsRatioField(frame.horizontalDenom);
    const bool verticalFits = fitsRatioField(frame.scaleNum) && fitsRatioField(frame.verticalDenom);
    if (!horizontalFits || !verticalFits) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Error: %s scaling ratio %d/%lld does not fit 8 bits",
                            horizontalFits ? "vertical" : "horizontal", frame.scaleNum,
                            static_cast<long long>(horizontalFits ? frame.verticalDenom : frame.horizontalDenom));
        return err_data;
    }
    return err_none;
}

void logFrameParams(const SensorFrame &frame)
{
    ve_log_common_debug(VE_LOG_VERBOSE, kTag, "------------------- frameParams ---------------------------");
    ve_log_common_debug(VE_LOG_VERBOSE, kTag, "%s: Final cropped Image w = %d, Final cropped Image h = %d",
                        kSensorFunction, frame.croppedWidth, frame.croppedHeight);
    ve_log_common_debug(VE_LOG_VERBOSE, kTag, "%s: Horizontal_crop_offset = %d, Vertical_crop_offset = %d",
                        kSensorFunction, frame.horizontalOffset, frame.verticalOffset);
    ve_log_common_debug(VE_LOG_VERBOSE, kTag, "%s: Horizontal_scaling_factor = %d/%d, Vertical_scaling factor = %d/%d",
                        kSensorFunction, frame.scaleNum, static_cast<int32_t>(frame.horizontalDenom), frame.scaleNum,
                        static_cast<int32_t>(frame.verticalDenom));
    ve_log_common_debug(VE_LOG_VERBOSE, kTag, "-----------------------------------------------------------------");
}

// Ratio terms are known to fit 8 bits here.
ve_lum_frame_params toRecord(const SensorFrame &frame)
{
    return {low16(frame.horizontalOffset),
            low16(frame.verticalOffset),
            low16(frame.croppedWidth),
            low16(frame.croppedHeight),
            static_cast<uint8_t>(frame.scaleNum),
            static_cast<uint8_t>(frame.horizontalDenom),
            static_cast<uint8_t>(frame.scaleNum),
            static_cast<uint8_t>(frame.verticalDenom)};
}

bool checkGraph(const IGraphConfig *graph)
{
    if (graph == nullptr)
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Error: graph is NULL");
    return graph != nullptr;
}
}  // namespace

status_t GraphLumUtil::getSensorFrameParams(ve_lum_frame_params &params, std::shared_ptr<const IGraphConfig> graph)
{
    if (!checkGraph(graph.get()))
        return err_argument;
    const IGraphConfig *sensor = graph->getDescendant(key_sensor);
    if (sensor == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Error: Couldn't get sensor mode node from the graph");
        return err_general;
    }
    SensorFrame frame;
    status_t status = readPixelArray(*sensor, frame);
    if (status == err_none)
        status = applyBinner(*sensor, frame);
    if (status == err_none)
        status = applyScaler(*sensor, frame);
    if (status != err_none)
        return status;
    computeCroppedSize(frame);
    status = computeRatios(frame);
    if (status != err_none)
        return status;
    logFrameParams(frame);
    params = toRecord(frame);
    return err_none;
}

status_t GraphLumUtil::getPortFrameParams(ve_lum_frame_params &params, std::shared_ptr<const IGraphConfig> graph,
                                          const std::string &portName)
{
    if (!checkGraph(graph.get()))
        return err_argument;
    const IGraphConfig *port = graph->getDescendantByString(portName);
    if (port == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Error: Couldn't get port \"%s\" node from the graph",
                            portName.c_str());
        return err_internal;
    }
    int32_t width = 0;
    int32_t height = 0;
    if (GraphCameraUtil::getDimensions(port, &width, &height) != err_none) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to get dimension for port \"%s\" node", portName.c_str());
        return err_internal;
    }
    params = {0, 0, low16(width), low16(height), 1, 1, 1, 1};
    return err_none;
}

}  // namespace Vorn
