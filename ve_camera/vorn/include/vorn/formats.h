// The pixel and data formats of libvorn: the format table, line strides,
// buffer sizes and DEC400 compressed layouts.
//
// The built-in table is set up when the library is loaded. Lookups search
// the working table, which initVornFormats() fills from the built-in one;
// they copy the entry out and never change the table.
#ifndef VORN_FORMATS_H
#define VORN_FORMATS_H

#include <cstdint>
#include <string>
#include <vector>

#include <vorn/status.h>
#include <vorn/ve_formats.h>
#include <vorn/vorn_api.h>

namespace VornFormats {

// One plane of a planar or semi-planar format.
struct ve_format_plane_t {
    std::string name;  // "Y", "U", "V", "UV" or "VU"
    uint32_t bpp = 0;  // bits per sample of this plane
};

struct ve_format_t {
    std::string name;  // name used in the graph XML, e.g. "YUV420_8_SP"
    uint32_t fourcc = 0;
    std::string type;          // "BAYER", "YUV", "sRGB", "IR" or "META"
    uint32_t bpp = 0;          // bits per pixel, all planes together
    uint32_t depth = 0;        // significant bits per sample
    uint32_t storageBits = 0;  // bits one sample occupies in memory
    uint32_t packing = 0;      // 1 for line-interleaved and y032, 32 for the vector Bayer formats
    bool enabled = false;
    bool compressed = false;                // DEC400-compressed layout
    std::vector<ve_format_plane_t> planes;  // memory order; empty for packed formats
    uint32_t id = 0;                        // caller-assigned, see setFormatId
};

// Fills the working table from the built-in table when it is empty.
VORN_API void initVornFormats();

// First entry with exactly this name / fourcc, copied into out. err_data
// when there is none (out untouched).
VORN_API Vorn::status_t getFormatByName(const std::string &name, ve_format_t &out);
VORN_API Vorn::status_t getFormatByFourcc(uint32_t fourcc, ve_format_t &out);

// Stores id in the first entry with this name; err_argument when none.
VORN_API Vorn::status_t setFormatId(const std::string &name, uint32_t id);

// Planes of the first entry with this fourcc; 0xFFFFFFFF when none.
VORN_API uint32_t getPlaneCountByFourcc(uint32_t fourcc);

// Compressed flag of a format by name; false when the name is unknown.
// The fourcc form is the flat isCompressedFormat(uint32_t).
VORN_API bool isCompressedFormat(const std::string &name);
using ::isCompressedFormat;

// Line stride of format (only its fourcc counts); the flat getBpl(fourcc,
// width) is the same rule. 0 when the stride does not fit in 32 bits.
VORN_API uint32_t getBpl(const ve_format_t &format, uint32_t width);
using ::getBpl;

// Bytes of a whole frame. bpl 0 computes the stride with getBpl. offsets and
// sizes (three entries each) receive the tile-status areas of compressed
// formats and are left alone otherwise. Row-times-stride products wrap
// modulo 2^32; a size computed in floating point, or from rows rounded up,
// that does not fit in 32 bits is 0.
VORN_API uint32_t calculateBufferSize(const ve_format_t &format, uint32_t width, uint32_t height, uint32_t bpl,
                                      uint32_t *offsets = nullptr, uint32_t *sizes = nullptr);

// Bytes of a DEC400-compressed frame with stride bpl; 0 (with zeroed outputs)
// for a fourcc that is not a supported compressed format. width is not used.
VORN_API uint32_t calculateDec400BufferSize(uint32_t fourcc, uint32_t width, uint32_t height, uint32_t bpl,
                                            uint32_t depth, uint32_t *offsets, uint32_t *sizes);

}  // namespace VornFormats

namespace dec400util {

// nci_dec400_cmprs_calc_buf_size of the fourcc's frame format; a fourcc the
// mapping does not know is treated as frame format 7.
VORN_API uint32_t calcBufferSize(uint32_t fourcc, uint32_t depth, bool flag, uint32_t stride, uint32_t height,
                                 uint32_t extra_mem, uint32_t *offsets, uint32_t *sizes);

// Plane count of the fourcc's frame format; 1 for an unknown fourcc.
VORN_API uint32_t numberOfPlanes(uint32_t fourcc);

}  // namespace dec400util

#endif
