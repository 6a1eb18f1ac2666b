// Resolution histories: the image as a source leaves its receiver block,
// measured against the source's full pixel array, and the resolution change
// each kernel declares.
#include <vorn/tol_kor_utils.h>

#include <ve_cipr/ve_log_common.h>
#include <vorn/graph_camera_util.h>

#include "wrap32.h"
#include "log_tags.h"
#include "model/tree.h"

namespace Vorn {
namespace {

constexpr const char *kTag = kVornTag;

using Dimensions = GraphCameraUtil;

// Width, height, left and top of item; right := left and bottom := top.
status_t readSymmetric(const IGraphConfig *item, int32_t &width, int32_t &height, ve_rectangle &crop)
{
    const status_t status = Dimensions::getDimensions(item, &width, &height, &crop.left, &crop.top);
    crop.right = crop.left;
    crop.bottom = crop.top;
    return status;
}

// Width, height and all four crop sides of item into the input fields.
status_t readInput(const IGraphConfig *item, ve_isp_tol_resolution_info &info)
{
    return Dimensions::getDimensions(item, &info.input_width, &info.input_height, &info.input_crop.left,
                                     &info.input_crop.top, &info.input_crop.right, &info.input_crop.bottom);
}

// Width and height of item into the output size, its crop (zero when it has
// none) into output_crop.
status_t readOutput(const IGraphConfig *item, ve_isp_tol_resolution_info &info)
{
    const status_t status = Dimensions::getDimensions(item, &info.output_width, &info.output_height);
    if (status != err_none)
        return status;
    if (Dimensions::getDimensions(item, nullptr, nullptr, &info.output_crop.left, &info.output_crop.top,
                                  &info.output_crop.right, &info.output_crop.bottom) != err_none)
        info.output_crop = ve_rectangle{};
    return err_none;
}

// The size and symmetric crop of item key of a sensor stage: err_end (after
// missingLine) when the stage has no such item, which ends the gathering
// with success; the read's status (after failedLine) when it cannot be read.
status_t readStageItem(const IGraphConfig *stage, KeyId key, const char *missingLine, const char *failedLine,
                       int32_t &width, int32_t &height, ve_rectangle &crop)
{
    const IGraphConfig *item = stage->getDescendant(key);
    if (item == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "%s", missingLine);
        return err_end;
    }
    const status_t status = readSymmetric(item, width, height, crop);
    if (status != err_none)
        ve_log_common_debug(VE_LOG_ERROR, kTag, "%s", failedLine);
    return status;
}

std::string kernelName(const IGraphConfig *kernel) { return tree::textOr(kernel, key_name, ""); }

// --- sensor sub-blocks -------------------------------------------------------------

status_t readPixelArray(const IGraphConfig *sensor, int32_t width, int32_t height, TolKorUtils::SensorModeInfo &info)
{
    const IGraphConfig *input = sensor->getDescendant(ItemUID{key_pixel_array, key_input});
    if (input == nullptr) {
        ve_log_common_debug(VE_LOG_WARNING, kTag,
                            "Warning, no pixel_array, make sure source has no pixel array. Defaulting to sensor "
                            "dimensions.");
        info.pixelArrayInputWidth = info.pixelArrayOutputWidth = width;
        info.pixelArrayInputHeight = info.pixelArrayOutputHeight = height;
        return err_none;
    }
    status_t status =
        readSymmetric(input, info.pixelArrayInputWidth, info.pixelArrayInputHeight, info.pixelArrayInputCrop);
    if (status != err_none) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to get pixel array dimensions");
        return status;
    }
    const IGraphConfig *output = sensor->getDescendant(ItemUID{key_pixel_array, key_output});
    if (output == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to get pixel_array:output");
        return err_end;  // gathering ends successfully
    }
    status = Dimensions::getDimensions(output, &info.pixelArrayOutputWidth, &info.pixelArrayOutputHeight);
    if (status != err_none)
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to get pixel array output dimensions");
    return status;
}

status_t readBinner(const IGraphConfig *sensor, TolKorUtils::SensorModeInfo &info)
{
    info.binnerInputCrop = info.binnerOutputCrop = ve_rectangle{};
    const IGraphConfig *binner = sensor->getDescendant(key_binner);
    if (binner == nullptr) {
        info.binnerInputWidth = info.pixelArrayOutputWidth;
        info.binnerInputHeight = info.pixelArrayOutputHeight;
        info.binningH = info.binningV = 1;
        return err_none;
    }
    status_t status = GraphCameraUtil::sensorGetBinningFactor(binner, info.binningH, info.binningV);
    if (status != err_none) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Error: Couldn't get binning factor");
        return status;
    }
    if (info.binningH != info.binningV) {
        ve_log_common_debug(VE_LOG_WARNING, kTag,
                            "Sensor mode specifies different binning factor for horizontal and vertical.this is not "
                            "supported, resolution history will be wrong ");
    }
    status =
        readStageItem(binner, key_input, "Failed to get binner:input", "Failed to get binner input dimensions and crop",
                      info.binnerInputWidth, info.binnerInputHeight, info.binnerInputCrop);
    if (status != err_none)
        return status;
    return readStageItem(binner, key_output, "Failed to get binner:output",
                         "Failed to get binner output dimensions and crop", info.binnerOutputWidth,
                         info.binnerOutputHeight, info.binnerOutputCrop);
}

status_t readScaler(const IGraphConfig *sensor, TolKorUtils::SensorModeInfo &info)
{
    info.scalerInputCrop = info.scalerOutputCrop = ve_rectangle{};
    const IGraphConfig *scaler = sensor->getDescendant(key_scaler);
    if (scaler == nullptr) {
        info.scalerInputWidth = info.scalerOutputWidth = info.binnerOutputWidth;
        info.scalerInputHeight = info.scalerOutputHeight = info.binnerOutputHeight;
        info.scaleNum = info.scaleDenom = 1;
        return err_none;
    }
    const status_t factorStatus = GraphCameraUtil::sensorGetScalingFactor(scaler, info.scaleNum, info.scaleDenom);
    if (factorStatus != err_none) {
        ve_log_common_debug(VE_LOG_WARNING, kTag, "Warning: Couldn't get scaling factor: Default to 1/1");
        info.scaleNum = info.scaleDenom = 1;
    } else {
        if (info.scaleDenom == 0) {
            ve_log_common_debug(VE_LOG_WARNING, kTag, "Scaling Denominator is 0! Wrong setting! Set to 1");
            info.scaleDenom = 1;
        }
        if (info.scaleNum == 0) {
            ve_log_common_debug(VE_LOG_WARNING, kTag, "Scaling Numerator is 0! Wrong setting! Set to 1");
            info.scaleNum = 1;
        }
    }
    const status_t status =
        readStageItem(scaler, key_input, "Failed to get scaler:input", "Failed to get scaler input dimensions and crop",
                      info.scalerInputWidth, info.scalerInputHeight, info.scalerInputCrop);
    if (status == err_end && factorStatus != err_none)
        return factorStatus;
    if (status != err_none)
        return status;
    return readStageItem(scaler, key_output, "Failed to get scaler:output",
                         "Failed to get scaler output dimensions and crop", info.scalerOutputWidth,
                         info.scalerOutputHeight, info.scalerOutputCrop);
}

}  // namespace

void TolKorUtils::accumulateCrop(ve_rectangle &sum, const ve_rectangle &crop, int32_t divisor, int32_t multiplier)
{
    if (divisor == 0)
        divisor = 1;
    const auto step = [&](int32_t &side, int32_t cropSide) {
        const int32_t scaled = wrap32::mul(wrap32::mul(cropSide, multiplier), 16);
        side = wrap32::add(side, wrap32::shr(wrap32::div(scaled, divisor), 4));
    };
    step(sum.left, crop.left);
    step(sum.top, crop.top);
    step(sum.right, crop.right);
    step(sum.bottom, crop.bottom);
}

status_t TolKorUtils::getSensorModeInfo(const IGraphConfig *sensor, SensorModeInfo &info)
{
    if (sensor == nullptr)
        return err_argument;
    const std::string name = sensor->getName();
    int32_t width = 0;
    int32_t height = 0;
    status_t status = Dimensions::getDimensions(sensor, &width, &height);
    if (status != err_none) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to get dimensions(width, height) for the source %s",
                            name.c_str());
        GraphCameraUtil::dumpNodeTree(sensor, 1);
        return status;
    }
    // A sub-block without its "input" or "output" ends the gathering with
    // success (err_end from the step); the history uses what was gathered.
    status = readPixelArray(sensor, width, height, info);
    if (status == err_none)
        status = readBinner(sensor, info);
    if (status == err_none)
        status = readScaler(sensor, info);
    return status == err_end ? err_none : status;
}

status_t TolKorUtils::getCsiDimensions(const IGraphConfig *sourcePort, ve_isp_tol_resolution_info &dimensions)
{
    dimensions = ve_isp_tol_resolution_info{};
    IGraphConfig *peer = nullptr;
    status_t status = GraphCameraUtil::portGetPeer(sourcePort, &peer);
    if (status != err_none)
        return status;
    const IGraphConfig *receiver = peer != nullptr ? peer->getAncestor() : nullptr;
    if (receiver == nullptr)
        return err_none;
    const IGraphConfig *input = receiver->getDescendantByString("tol_pixelformatter:input");
    if (input == nullptr)
        input = receiver->getDescendantByString("stream2mmio:input");
    if (input != nullptr) {
        status = readInput(input, dimensions);
        if (status != err_none) {
            ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to get %s dimensions and crop",
                                GraphCameraUtil::print(input).c_str());
            return status;
        }
        ve_log_common_debug(VE_LOG_VERBOSE, kTag, "%s: %s", input->getName().c_str(), resInfoToStr(dimensions));
    }
    const IGraphConfig *output = receiver->getDescendant(key_output);
    if (output == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to get output node for %s",
                            GraphCameraUtil::print(receiver).c_str());
        return err_internal;
    }
    status = Dimensions::getDimensions(output, &dimensions.output_width, &dimensions.output_height);
    if (status != err_none) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to get csi be output dimensions");
        return status;
    }
    ve_log_common_debug(VE_LOG_VERBOSE, kTag, "%s OUT w: %d, h: %d----", receiver->getName().c_str(),
                        dimensions.output_width, dimensions.output_height);
    return err_none;
}

status_t TolKorUtils::calculateSensorResolutionHistory(const IGraphConfig *sensor, ve_isp_tol_resolution_info &history)
{
    if (sensor == nullptr)
        return err_argument;
    const std::string name = sensor->getName();
    SensorModeInfo info;
    ve_log_common_debug(VE_LOG_VERBOSE, kTag, "Calculating resolution history for source %s", name.c_str());
    status_t status = getSensorModeInfo(sensor, info);
    if (status != err_none) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to get sensor mode information");
        return status;
    }
    const IGraphConfig *port = sensor->getDescendantByString("port_0");
    if (port == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Could not find port_0- check node description");
        return err_internal;
    }
    ve_isp_tol_resolution_info receiver{};
    status = getCsiDimensions(port, receiver);
    if (status != err_none)
        return status;

    history = ve_isp_tol_resolution_info{};
    history.input_width = info.pixelArrayInputWidth;
    history.input_height = info.pixelArrayInputHeight;
    history.input_crop = info.pixelArrayInputCrop;
    // Every later crop converted back to pixel-array pixels; only the
    // horizontal binning factor is known to hold for both axes.
    const int32_t scaledBinning = wrap32::mul(info.binningH, info.scaleDenom);
    accumulateCrop(history.input_crop, info.binnerInputCrop, 1, 1);
    accumulateCrop(history.input_crop, info.binnerOutputCrop, 1, info.binningH);
    accumulateCrop(history.input_crop, info.scalerInputCrop, 1, info.binningH);
    accumulateCrop(history.input_crop, info.scalerOutputCrop, info.scaleNum, scaledBinning);
    accumulateCrop(history.input_crop, receiver.input_crop, info.scaleNum, scaledBinning);
    history.output_width = receiver.output_width;
    history.output_height = receiver.output_height;
    ve_log_common_debug(VE_LOG_VERBOSE, kTag, "Resolution history for source %s DONE", name.c_str());
    ve_log_common_debug(VE_LOG_VERBOSE, kTag, "History %s", resInfoToStr(history));
    return err_none;
}

status_t TolKorUtils::calculateTPGResolutionHistory(const IGraphConfig *tpg, ve_isp_tol_resolution_info &history)
{
    if (tpg == nullptr)
        return err_argument;
    const IGraphConfig *port = tpg->getDescendantByString("port_0");
    if (port == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Could not find TPG port_0- check node description");
        return err_internal;
    }
    int32_t width = 0;
    int32_t height = 0;
    status_t status = Dimensions::getDimensions(port, &width, &height);
    if (status != err_none) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to get dimensions(width, height) for the source %s",
                            tpg->getName().c_str());
        return status;
    }
    ve_isp_tol_resolution_info receiver{};
    status = getCsiDimensions(port, receiver);
    if (status != err_none)
        return status;
    history = receiver;
    history.output_crop = ve_rectangle{};
    return err_none;
}

status_t TolKorUtils::calculateBufSrcResolutionHistory(const IGraphConfig *bufferSource,
                                                       ve_isp_tol_resolution_info &history)
{
    if (bufferSource == nullptr)
        return err_argument;
    const std::string name = bufferSource->getName();
    const IGraphConfig *port = bufferSource->getDescendantByString("port_0");
    if (port == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Could not find %s port_0- check node description", name.c_str());
        return err_internal;
    }
    const status_t status = Dimensions::getDimensions(port, &history.output_width, &history.output_height);
    if (status != err_none) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to get dimensions(width, height) for the source %s",
                            name.c_str());
        return status;
    }
    history.input_width = history.output_width;
    history.input_height = history.output_height;
    history.input_crop = history.output_crop = ve_rectangle{};
    return err_none;
}

status_t TolKorUtils::sourceGetResolutionHistory(ve_isp_tol_resolution_info &history, const IGraphConfig &source)
{
    const std::string name = source.getName();
    const KeyId key = ItemUID::str2key(name);
    status_t status = err_notimplemented;
    if (key == key_sensor) {
        status = calculateSensorResolutionHistory(&source, history);
    } else if (key == key_tpg) {
        status = calculateTPGResolutionHistory(&source, history);
    } else if (name.find("buffer_src") != std::string::npos) {
        status = calculateBufSrcResolutionHistory(&source, history);
    } else {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "No support for source of name: %s", name.c_str());
    }
    if (status != err_none) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to get resolution history for source: %s", name.c_str());
        return status;
    }
    return err_none;
}

// --- a kernel's own resolution change ---------------------------------------------------

bool TolKorUtils::kernelHasResolutions(const IGraphConfig *kernel)
{
    if (kernel == nullptr)
        return false;
    const IGraphConfig *input = kernel->getDescendant(key_input);
    const IGraphConfig *output = kernel->getDescendant(key_output);
    int32_t width = 0;
    if (input == nullptr || output == nullptr || input->getValue(key_width, width) != err_none)
        return false;
    return output->getValue(key_width, width) == err_none || output->getDescendantCount() > 0;
}

status_t TolKorUtils::kernelGetResolutions(const IGraphConfig *kernel, ve_isp_tol_resolution_info *resolution)
{
    if (kernel == nullptr || resolution == nullptr)
        return err_argument;
    const std::string name = kernelName(kernel);
    const IGraphConfig *input = kernel->getDescendant(key_input);
    if (input == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag,
                            "ERROR: couldn't find input resolution info, check graph settings xml[%s]", name.c_str());
        return err_argument;
    }
    if (readInput(input, *resolution) != err_none) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "ERROR: couldn't get input resolution info for kernel %s",
                            name.c_str());
        return err_argument;
    }
    const IGraphConfig *output = kernel->getDescendant(key_output);
    if (output == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "ERROR: couldn't find output resolution info element for kernel");
        return err_argument;
    }
    if (readOutput(output, *resolution) != err_none) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "ERROR: couldn't get output resolution info dimensions for kernel");
        return err_argument;
    }
    return err_none;
}

status_t TolKorUtils::kernelGetResolutions(const IGraphConfig *kernel,
                                           std::map<std::string, ve_isp_tol_resolution_info> &resolutions)
{
    if (kernel == nullptr)
        return err_argument;
    const std::string name = kernel->getName();
    const IGraphConfig *input = kernel->getDescendant(key_input);
    if (input == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag,
                            "Couldn't find input resolution node for kernel [%s] check graph settings xml",
                            name.c_str());
        return err_argument;
    }
    ve_isp_tol_resolution_info working{};
    if (readInput(input, working) != err_none) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "ERROR: couldn't get input resolution details for kernel %s",
                            name.c_str());
        return err_argument;
    }
    IGraphConfig *output = kernel->getDescendant(key_output);
    if (output == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag,
                            "Couldn't find output resolution node for kernel [%s] check graph settings xml",
                            name.c_str());
        return err_argument;
    }
    const auto readOne = [&](const IGraphConfig *item, const std::string &outputName) {
        if (readOutput(item, working) != err_none) {
            ve_log_common_debug(VE_LOG_ERROR, kTag,
                                "ERROR: couldn't get output resolution info dimensions for kernel [%s]", name.c_str());
            return false;
        }
        resolutions[outputName] = working;
        return true;
    };
    int32_t width = 0;
    if (output->getValue(key_width, width) == err_none) {
        if (!readOne(output, ""))
            return err_argument;
    } else {
        NodeIterator it(output);
        while (IGraphConfig *child = it.iterateDescendants()) {
            if (!readOne(child, child->getName()))
                return err_argument;
        }
    }
    return resolutions.empty() ? err_argument : err_none;
}

// --- histories while a context is filled ------------------------------------------------

status_t TolKorUtils::getResHistoryForIntermediatePg(const IGraphConfig *programGroup,
                                                     ve_isp_tol_resolution_info &current,
                                                     const PortResHistoryMap &histories)
{
    const IGraphConfig *input = programGroup != nullptr ? programGroup->getDescendant(key_input) : nullptr;
    if (input == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "PG node %s: no '%s' port",
                            GraphCameraUtil::print(programGroup).c_str(), ItemUID::key2str(key_input));
        return err_general;
    }
    IGraphConfig *peer = nullptr;
    if (GraphCameraUtil::portGetPeer(input, &peer) != err_none || peer == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Intermediate PG connection disabled ?");
        return err_general;
    }
    const auto found = histories.find(peer);
    if (found != histories.end()) {
        current = found->second;
    } else {
        ve_log_common_debug(VE_LOG_WARNING, kTag, "No res history for stream input (%s:%s)!",
                            GraphCameraUtil::print(peer->getAncestor()).c_str(), GraphCameraUtil::print(peer).c_str());
    }
    return err_none;
}

status_t TolKorUtils::getSourceResolutionHistory(ve_isp_tol_resolution_info &history)
{
    history = mGraphUtil.holdsGraph() ? mGraphUtil.getSourceResHistory() : mSourceResHistory;
    return err_none;
}

}  // namespace Vorn
