// Sensor factors and type, and the values of kernels and program groups.
#include <vorn/graph_camera_util.h>

#include <cstdint>

#include <ve_cipr/ve_log_common.h>

#include "log_tags.h"
#include "model/decimal_text.h"
#include "model/tree.h"
#include "no_memory.h"

namespace Vorn {

namespace {
constexpr const char *kTag = kVornTag;
}  // namespace

status_t GraphCameraUtil::sensorGetBinningFactor(const IGraphConfig *sensor, int32_t &horizontal, int32_t &vertical)
try {
    if (sensor == nullptr)
        return err_argument;
    status_t status = sensor->getValue(key_h_factor, horizontal);
    if (status != err_none) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Error: Couldn't get horizontal binning factor");
        return status;
    }
    status = sensor->getValue(key_v_factor, vertical);
    if (status != err_none) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Error: Couldn't get vertical binning factor");
        return status;
    }
    return err_none;
} catch (const std::bad_alloc &) {
    return noMemory("sensorGetBinningFactor");
}

status_t GraphCameraUtil::sensorGetScalingFactor(const IGraphConfig *sensor, int32_t &numerator, int32_t &denominator)
try {
    if (sensor == nullptr)
        return err_argument;
    status_t status = sensor->getValue(key_num_factor, numerator);
    if (status == err_none)
        status = sensor->getValue(key_denom_factor, denominator);
    if (status != err_none) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Error: Couldn't get width scaling num ratio");
        return status;
    }
    return err_none;
} catch (const std::bad_alloc &) {
    return noMemory("sensorGetScalingFactor");
}

status_t GraphCameraUtil::getKernelCountInPg(const IGraphConfig *programGroup, uint32_t &count)
try {
    if (programGroup == nullptr)
        return err_argument;
    uint32_t kernels = 0;
    tree::forEachChildOfType(*programGroup, key_kernel, [&](IGraphConfig *) { ++kernels; });
    count = kernels;
    return err_none;
} catch (const std::bad_alloc &) {
    return noMemory("getKernelCountInPg");
}

status_t GraphCameraUtil::kernelGetValues(const IGraphConfig *kernel, int32_t *palUuid, int32_t *id, uint32_t *metadata,
                                          int32_t *enabled, int32_t *rcb, int32_t *branchPoint, int32_t *sinkPort,
                                          size_t metadataWords)
try {
    if (kernel == nullptr)
        return err_argument;

    std::string text;
    if (metadata != nullptr && kernel->getValue(key_metadata, text) == err_none) {
        // Every piece is checked before the record is written, so a bad
        // text leaves it as it was.
        uint32_t words[kKernelMetadataWords] = {};
        const size_t capacity = metadataWords < kKernelMetadataWords ? metadataWords : kKernelMetadataWords;
        size_t count = 0;
        size_t start = 0;
        for (;;) {
            size_t comma = text.find(',', start);
            const size_t stop = comma == std::string::npos ? text.size() : comma;
            int32_t number = 0;
            if (count == capacity || !decimalToInt32(text.data() + start, text.data() + stop, number)) {
                ve_log_common_debug(VE_LOG_ERROR, kTag, "Invalid kernel metadata '%s' for %s", text.c_str(),
                                    print(kernel).c_str());
                return err_argument;
            }
            words[count++] = static_cast<uint32_t>(number);
            if (comma == std::string::npos)
                break;
            start = comma + 1;
        }
        for (size_t i = 0; i < count; ++i)
            metadata[i] = words[i];
    }

    if (rcb != nullptr)
        *rcb = tree::intOr(kernel, key_rcb, 0);
    if (branchPoint != nullptr)
        *branchPoint = tree::intOr(kernel, key_branch_point, 0);
    if (enabled != nullptr)
        *enabled = tree::intOr(kernel, key_enabled, 1);
    if (palUuid != nullptr) {
        const status_t status = tree::readOrLog(kernel, key_pal_uuid, *palUuid, kTag, "ERROR: Couldn't get pal_uuid");
        if (status != err_none)
            return status;
    }
    if (id != nullptr) {
        const status_t status = tree::readOrLog(kernel, key_id, *id, kTag, "Couldn't get kernel id");
        if (status != err_none)
            return status;
    }
    if (sinkPort != nullptr)
        *sinkPort = tree::intOr(kernel, key_sink_port, -1);
    return err_none;
} catch (const std::bad_alloc &) {
    return noMemory("kernelGetValues");
}

status_t GraphCameraUtil::sensorGetType(const IGraphConfig *item, std::string &type)
try {
    if (item == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Null pointer given");
        return err_argument;
    }
    type = "NONE";
    NodeIterator it(item->getRoot());
    const IGraphConfig *source = it.iterateByType(key_source);
    if (source == nullptr)
        return err_noentry;
    return source->getValue(key_sensor_type, type) == err_none ? err_none : err_noentry;
} catch (const std::bad_alloc &) {
    return noMemory("sensorGetType");
}

}  // namespace Vorn
