// Sensor frame parameters: which part of the sensor's pixel array ends up in
// a delivered frame, and at what scale. The camera service's 3A algorithms
// map their statistics back onto the pixel array with this record.
#ifndef VORN_GRAPH_LUM_UTIL_H
#define VORN_GRAPH_LUM_UTIL_H

#include <cstdint>
#include <memory>
#include <string>

#include <vorn/graph_config.h>
#include <vorn/status.h>
#include <vorn/vorn_api.h>

// Crop and scale of a frame relative to the sensor's pixel array. Sizes and
// offsets are in pixel-array pixels and keep the low 16 bits of their value;
// a ratio says how many frame pixels come from how many pixel-array pixels.
typedef struct ve_lum_frame_params {
    uint16_t horizontal_crop_offset;         // first pixel-array column of the frame
    uint16_t vertical_crop_offset;           // first pixel-array row of the frame
    uint16_t cropped_image_width;            // frame width in pixel-array pixels
    uint16_t cropped_image_height;           // frame height in pixel-array pixels
    uint8_t horizontal_scaling_numerator;    // frame pixels ...
    uint8_t horizontal_scaling_denominator;  // ... per this many pixel-array pixels
    uint8_t vertical_scaling_numerator;
    uint8_t vertical_scaling_denominator;
} ve_lum_frame_params;

namespace Vorn {

class VORN_API GraphLumUtil {
public:
    // Frame parameters of the sensor of a result graph: the pixel array's
    // output crop, moved by the binner's output crop (in pixel-array
    // pixels), and the size and ratio that binning and scaling give. A
    // missing binner or scaler counts as 1/1. err_data when a ratio does not
    // fit its 8-bit fields. params is written only on success.
    static status_t getSensorFrameParams(ve_lum_frame_params &params, std::shared_ptr<const IGraphConfig> graph);
    // Frame parameters of a frame that does not come from a sensor: the size
    // of the port found by portName (a path of names joined by ":"),
    // without crop, at 1/1. params is written only on success.
    static status_t getPortFrameParams(ve_lum_frame_params &params, std::shared_ptr<const IGraphConfig> graph,
                                       const std::string &portName);
};

}  // namespace Vorn

#endif
