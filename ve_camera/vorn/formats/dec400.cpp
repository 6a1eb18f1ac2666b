// DEC400 compressed buffers: frame-format properties, the fourcc mapping and
// the layout of image planes followed by their tile-status areas.
//
// Every size is computed exactly: image sizes (stride x rows), rows rounded
// up to 32, the running total and the 4096-byte aligned tile-status offsets.
// A plane or layout that does not fit in 32 bits has no size and gives 0 with
// an error line, as does a combination without a tile size; a wrapped, small
// size would make a caller allocate a buffer the frame overflows.
#include <vorn/formats.h>

#include <ve_cipr/ve_log_common.h>

#include "formats_internal.h"

using VornFormats::detail::alignUp;
using VornFormats::detail::kMax32;

#define CALC_PREFIX "nci_dec400_cmprs_calc_buf_size || "

namespace {

constexpr uint32_t kTileStatusAlignment = 4096;
constexpr uint32_t kRowAlignment = 32;

bool isBayer(uint32_t f) { return f >= 20 && f <= 23; }

bool isStandardDepth(uint32_t depth) { return depth == 8 || depth == 10 || depth == 12; }

// Frame formats whose rows are rounded up to a multiple of 32.
bool hasAlignedRows(uint32_t f) { return f == 5 || f == 7 || f == 50 || f == 52 || f == 54 || f == 56; }

struct FrameFormat {
    uint32_t format;
    bool raw;
    bool packed;
};

struct FourccMapping {
    uint32_t fourcc;
    FrameFormat frame;
};

// clang-format off
constexpr FourccMapping kFourccMappings[] = {
    {VE_FOURCC_P01Y, {3, false, false}},  {VE_FOURCC_CIYU, {3, false, false}},
    {VE_FOURCC_C420, {3, false, false}},  {VE_FOURCC_CSYI, {3, false, false}},
    {VE_FOURCC_IYUV, {3, false, false}},  {VE_FOURCC_P412, {3, false, false}},
    {VE_FOURCC_S420, {3, false, false}},  {VE_FOURCC_V420, {3, false, false}},
    {VE_FOURCC_CS40, {3, false, true}},   {VE_FOURCC_CS42, {3, false, true}},
    {VE_FOURCC_YV12, {4, false, false}},  {VE_FOURCC_NV12, {5, false, false}},
    {VE_FOURCC_CN12, {5, false, false}},  {VE_FOURCC_CT12, {5, false, false}},
    {VE_FOURCC_TILE, {7, false, false}},  {VE_FOURCC_CILE, {7, false, false}},
    {VE_FOURCC_NV21, {8, false, false}},  {VE_FOURCC_NV16, {11, false, false}},
    {VE_FOURCC_YUY2, {14, false, false}}, {VE_FOURCC_CSYP, {16, false, false}},
    {VE_FOURCC_GRBG, {20, true, false}},  {VE_FOURCC_GR10, {20, true, false}},
    {VE_FOURCC_GR1C, {20, true, false}},  {VE_FOURCC_GR8C, {20, true, false}},
    {VE_FOURCC_pgAA, {20, true, true}},   {VE_FOURCC_pgCC, {20, true, true}},
    {VE_FOURCC_RGGB, {21, true, false}},  {VE_FOURCC_RG1C, {21, true, false}},
    {VE_FOURCC_RG8C, {21, true, false}},  {VE_FOURCC_pRAA, {21, true, true}},
    {VE_FOURCC_pRCC, {21, true, true}},   {VE_FOURCC_BGGR, {22, true, false}},
    {VE_FOURCC_BG1C, {22, true, false}},  {VE_FOURCC_BG8C, {22, true, false}},
    {VE_FOURCC_pBAA, {22, true, true}},   {VE_FOURCC_pBCC, {22, true, true}},
    {VE_FOURCC_GBRG, {23, true, false}},  {VE_FOURCC_GB1C, {23, true, false}},
    {VE_FOURCC_GB8C, {23, true, false}},  {VE_FOURCC_pGAA, {23, true, true}},
    {VE_FOURCC_pGCC, {23, true, true}},   {VE_FOURCC_M420, {24, false, false}},
    {VE_FOURCC_CSYC, {24, false, false}}, {VE_FOURCC_BA10, {25, true, false}},
    {VE_FOURCC_BA12, {25, true, false}},  {VE_FOURCC_CSBA, {25, true, false}},
    {VE_FOURCC_GR08, {25, true, false}},  {VE_FOURCC_BIN8, {28, false, false}},
    {VE_FOURCC_CSL0, {42, true, false}},  {VE_FOURCC_CSL1, {42, true, false}},
    {VE_FOURCC_CSL2, {42, true, false}},  {VE_FOURCC_CSL3, {42, true, false}},
    {VE_FOURCC_CSL4, {42, true, false}},  {VE_FOURCC_CSL5, {42, true, false}},
    {VE_FOURCC_CSL6, {42, true, false}},  {VE_FOURCC_CSL7, {42, true, false}},
    {VE_FOURCC_y032, {47, false, false}}, {VE_FOURCC_y036, {47, false, true}},
    {VE_FOURCC_P01L, {49, false, false}}, {VE_FOURCC_P010, {50, false, false}},
    {VE_FOURCC_PC10, {50, false, false}}, {VE_FOURCC_PL12, {51, false, false}},
    {VE_FOURCC_P012, {52, false, false}}, {VE_FOURCC_PC12, {52, false, false}},
    {VE_FOURCC_C010, {54, false, false}}, {VE_FOURCC_T010, {54, false, false}},
    {VE_FOURCC_C012, {56, false, false}}, {VE_FOURCC_T012, {56, false, false}},
    {VE_FOURCC_PAFn, {61, true, false}},  {VE_FOURCC_PF1n, {61, true, false}},
    {VE_FOURCC_PF2n, {61, true, false}},  {VE_FOURCC_PF4n, {61, true, false}},
    {VE_FOURCC_PF6n, {61, true, false}},  {VE_FOURCC_PF8n, {61, true, false}},
    {VE_FOURCC_PAFi, {62, true, false}},  {VE_FOURCC_PF1i, {62, true, false}},
    {VE_FOURCC_PF2i, {62, true, false}},  {VE_FOURCC_PF4i, {62, true, false}},
    {VE_FOURCC_PF6i, {62, true, false}},  {VE_FOURCC_PF8i, {62, true, false}},
    {VE_FOURCC_IR16, {63, false, false}},
};
// clang-format on

bool lookupFrameFormat(uint32_t fourcc, FrameFormat &frame)
{
    // Vector raw: two runs of eight consecutive codes.
    if (fourcc >= VE_FOURCC_bV0E && fourcc <= VE_FOURCC_bV0T) {
        frame = {43, true, fourcc >= VE_FOURCC_bV0M};
        return true;
    }
    for (const FourccMapping &mapping : kFourccMappings) {
        if (mapping.fourcc == fourcc) {
            frame = mapping.frame;
            return true;
        }
    }
    return false;
}

void clear3(uint32_t *values)
{
    values[0] = 0;
    values[1] = 0;
    values[2] = 0;
}

}  // namespace

int32_t fourcc_to_dax_frame_format(uint32_t fourcc, uint32_t *format, bool *is_raw, bool *packed)
{
    ve_log_common_debug(VE_LOG_ENTRY, Vorn::kPsysFormatTag, "E:%s", __func__);
    FrameFormat frame{};
    if (!lookupFrameFormat(fourcc, frame))
        return err_argument;
    if (format != nullptr)
        *format = frame.format;
    if (is_raw != nullptr)
        *is_raw = frame.raw;
    if (packed != nullptr)
        *packed = frame.packed;
    return err_none;
}

bool nci_dec400_psys_cmprs_validate_format(uint32_t f, bool flag)
{
    (void)flag;
    return f == 3 || f == 5 || f == 7 || isBayer(f) || f == 50 || f == 54 || f == 56;
}

bool nci_dec400_psys_cmprs_validate_bit_depth(uint32_t f, uint32_t depth)
{
    if (f == 3 || isBayer(f))
        return isStandardDepth(depth);
    if (f == 5 || f == 7)
        return depth == 8;
    if (f == 50 || f == 54)
        return depth == 10;
    if (f == 56)
        return depth == 12;
    return false;
}

uint32_t nci_dec400_psys_cmprs_get_bit_depth(uint32_t f, bool unused)
{
    (void)unused;
    if (f == 5 || f == 7)
        return 8;
    if (f == 50 || f == 54)
        return 10;
    if (f == 56)
        return 12;
    return 0;
}

uint32_t nci_dec400_cmprs_get_stride_alignment(uint32_t f, uint32_t depth, bool flag, uint32_t *a, uint32_t *b)
{
    (void)depth;
    uint32_t factor = 1;
    uint32_t alignment = 1;
    if (b != nullptr)
        *b = 0;
    if (f == 3) {
        factor = 2;
        alignment = 256;
    } else if (isBayer(f)) {
        factor = 1;
        alignment = 512;
    } else if (f == 7 || f == 54 || f == 56) {
        factor = 8;
        alignment = 64;
    } else if (f == 5 || f == 50) {
        factor = flag ? 4 : 2;
        alignment = 128;
    }
    if (a != nullptr)
        *a = factor;
    return alignment;
}

uint32_t nci_dec400_cmpr_get_tile_size(uint32_t f, uint32_t depth, uint32_t plane, bool flag)
{
    if (f > 56)
        return 0;
    if (f == 3)
        return plane == 0 ? 256 : 128;
    if (f == 5) {
        if (!flag)
            return 128;
        return plane == 0 ? 512 : plane == 1 ? 256 : 0;
    }
    if (isBayer(f))
        return isStandardDepth(depth) ? 512 : 0;
    if (f == 7 || f == 54 || f == 56)
        return 256;
    if (f == 50 || f == 52) {
        if (!flag)
            return 256;
        return plane == 0 ? 512 : plane == 1 ? 256 : 0;
    }
    return 0;
}

uint32_t nci_dec400_cmpr_get_num_planes(uint32_t f)
{
    if (f == 3)
        return 3;
    if (f == 5 || f == 7 || (f >= 49 && f <= 56))
        return 2;
    return 1;
}

uint32_t nci_dec400_cmpr_get_chroma_height_div(uint32_t f)
{
    return (f == 3 || f == 5 || f == 7 || (f >= 49 && f <= 56)) ? 2 : 1;
}

uint32_t nci_dec400_cmpr_get_chroma_stride_div(uint32_t f) { return f == 3 ? 2 : 1; }

bool nci_dec400_cmprs_is_tiled(uint32_t f) { return f == 7 || f == 54 || f == 56; }

uint32_t nci_dec400_isys_cmprs_get_stride_alignment(uint32_t pin, uint32_t isys_format, uint32_t mipi_type, bool *flag)
{
    if (flag != nullptr)
        *flag = false;
    const bool pinOk = pin == 1 || pin == 3;
    const bool formatOk = isys_format == 20 || isys_format == 24;
    const bool mipiOk = mipi_type >= 42 && mipi_type <= 44;
    if (!(pinOk && formatOk && mipiOk))
        return 0;
    if (flag != nullptr)
        *flag = true;
    return 512;
}

uint32_t nci_dec400_cmprs_calc_plane_buf_size(uint32_t stride, uint32_t height, uint32_t tile_size, bool tiled,
                                              uint32_t *image_size, uint32_t *ts_size)
{
    uint64_t image = 0;
    uint64_t tileStatus = 0;
    if (tile_size != 0) {
        const uint32_t bits = tiled ? 8 : (tile_size == 64 || tile_size == 128) ? 1 : tile_size == 256 ? 2 : 4;
        image = uint64_t{stride} * height;
        if (image > kMax32) {
            ve_log_common_debug(VE_LOG_ERROR, Vorn::kDec400Tag,
                                "%s: image of stride %u and height %u does not fit in 32 bits: no size", __func__,
                                stride, height);
            image = 0;
        }
        // At most image bytes, so it fits.
        tileStatus = (image / tile_size * bits + 7) / 8;
    }
    if (image_size != nullptr)
        *image_size = static_cast<uint32_t>(image);
    if (ts_size != nullptr)
        *ts_size = static_cast<uint32_t>(tileStatus);
    if (image + tileStatus > kMax32) {
        ve_log_common_debug(VE_LOG_ERROR, Vorn::kDec400Tag,
                            "%s: image and tile status of stride %u and height %u do not fit in 32 bits: no size",
                            __func__, stride, height);
        return 0;
    }
    return static_cast<uint32_t>(image + tileStatus);
}

namespace {

// The image planes of a frame: rows, stride, tile size, image bytes and
// tile-status bytes of each.
struct PlaneLayout {
    uint32_t planes = 0;
    uint64_t rows[3] = {0, 0, 0};
    uint32_t strides[3] = {0, 0, 0};
    uint32_t tiles[3] = {0, 0, 0};
    uint32_t images[3] = {0, 0, 0};
};

// Rows and stride of each plane: chroma planes are divided as the format
// says, and rows are rounded up to 32 for the formats that need it.
PlaneLayout planeGeometry(uint32_t f, uint32_t stride, uint32_t height)
{
    PlaneLayout layout;
    layout.planes = nci_dec400_cmpr_get_num_planes(f);
    layout.rows[0] = height;
    layout.strides[0] = stride;
    if (layout.planes > 1) {
        layout.rows[1] = layout.rows[2] = height / nci_dec400_cmpr_get_chroma_height_div(f);
        layout.strides[1] = layout.strides[2] = stride / nci_dec400_cmpr_get_chroma_stride_div(f);
    }
    if (hasAlignedRows(f)) {
        for (uint32_t i = 0; i < layout.planes; ++i)
            layout.rows[i] = alignUp(layout.rows[i], kRowAlignment);
    }
    return layout;
}

void logPlane(const PlaneLayout &layout, uint32_t i, uint64_t total, const uint32_t *sizes)
{
    ve_log_common_debug(VE_LOG_ERROR, Vorn::kDec400Tag,
                        CALC_PREFIX "{img_buf_size_total: %u, stride: %u, height: %u, tile_size[%u]: %u, "
                                    "img_buf_size[%u]: %u, ts_sizes[%u]: %u}\n",
                        static_cast<uint32_t>(total), layout.strides[i], static_cast<uint32_t>(layout.rows[i]), i,
                        layout.tiles[i], i, layout.images[i], i, sizes[i]);
}

// Sizes the image and tile-status area of every plane, adding the image
// bytes (each modulo 2^32) to total; false, with an error, when a plane has
// no tile size or its rows do not fit 32 bits.
bool sizePlanes(PlaneLayout &layout, uint32_t f, uint32_t depth, bool flag, uint32_t height, uint32_t *sizes,
                uint64_t &total)
{
    const bool tiled = nci_dec400_cmprs_is_tiled(f);
    for (uint32_t i = 0; i < layout.planes; ++i) {
        layout.tiles[i] = nci_dec400_cmpr_get_tile_size(f, depth, i, flag);
        if (layout.tiles[i] == 0) {
            ve_log_common_debug(VE_LOG_ERROR, Vorn::kDec400Tag,
                                CALC_PREFIX "{no tile size for format %u, bit depth %u, plane %u: no buffer size}\n", f,
                                depth, i);
            return false;
        }
        if (layout.rows[i] > kMax32) {
            ve_log_common_debug(VE_LOG_ERROR, Vorn::kDec400Tag,
                                CALC_PREFIX "{height %u of plane %u does not fit once aligned: no buffer size}\n",
                                height, i);
            return false;
        }
        if (uint64_t{layout.strides[i]} * layout.rows[i] > kMax32) {
            ve_log_common_debug(VE_LOG_ERROR, Vorn::kDec400Tag,
                                CALC_PREFIX "{image of plane %u (stride %u, height %u) does not fit in 32 bits: "
                                            "no buffer size}\n",
                                i, layout.strides[i], static_cast<uint32_t>(layout.rows[i]));
            return false;
        }
        nci_dec400_cmprs_calc_plane_buf_size(layout.strides[i], static_cast<uint32_t>(layout.rows[i]), layout.tiles[i],
                                             tiled, &layout.images[i], &sizes[i]);
        total += layout.images[i];
        logPlane(layout, i, total, sizes);
    }
    return true;
}

// Places the tile-status areas after total bytes, each at a 4096-byte
// boundary, into offsets; returns where the last one ends, aligned (exact,
// possibly beyond 32 bits).
uint64_t placeTileStatus(uint64_t total, uint32_t planes, const uint32_t *sizes, uint64_t *offsets)
{
    offsets[0] = alignUp(total, kTileStatusAlignment);
    for (uint32_t i = 1; i < planes; ++i)
        offsets[i] = alignUp(offsets[i - 1] + sizes[i - 1], kTileStatusAlignment);
    const uint32_t last = planes - 1;
    return alignUp(offsets[last] + sizes[last], kTileStatusAlignment);
}

void logLayout(uint32_t planes, uint32_t extraMem, uint64_t total, uint64_t combined, const uint32_t *offsets,
               const uint32_t *sizes)
{
    ve_log_common_debug(VE_LOG_ERROR, Vorn::kDec400Tag,
                        CALC_PREFIX "{img_buf_size_total after extra_mem (%u bytes): %u}\n", extraMem,
                        static_cast<uint32_t>(total));
    for (uint32_t i = 0; i < planes; ++i) {
        if (i < 2)
            ve_log_common_debug(VE_LOG_ERROR, Vorn::kDec400Tag, CALC_PREFIX "{ts_offsets[%u]: %u, ts_sizes[%u]: %u}\n",
                                i, offsets[i], i, sizes[i]);
        else
            ve_log_common_debug(VE_LOG_ERROR, Vorn::kDec400Tag, CALC_PREFIX "{ts_offsets[%u]: %u, ts_sizes[%u]: %u\n}",
                                i, offsets[i], i, sizes[i]);
    }
    const uint32_t last = planes - 1;
    ve_log_common_debug(VE_LOG_ERROR, Vorn::kDec400Tag,
                        CALC_PREFIX "{img_buf_size_total: %u, combined_buf_size: %u, num_planes: %u, "
                                    "ts_offsets[num_planes - 1]: %u, ts_sizes[num_planes - 1]: %u}\n",
                        static_cast<uint32_t>(total), static_cast<uint32_t>(combined), planes, offsets[last],
                        sizes[last]);
}

}  // namespace

uint32_t nci_dec400_cmprs_calc_buf_size(uint32_t f, uint32_t depth, bool flag, uint32_t stride, uint32_t height,
                                        uint32_t extra_mem, uint32_t ts_offsets[3], uint32_t ts_sizes[3])
{
    uint32_t localOffsets[3];
    uint32_t localSizes[3];
    uint32_t *offsets = ts_offsets != nullptr ? ts_offsets : localOffsets;
    uint32_t *sizes = ts_sizes != nullptr ? ts_sizes : localSizes;
    clear3(offsets);
    clear3(sizes);

    PlaneLayout layout = planeGeometry(f, stride, height);
    uint64_t total = 0;
    if (!sizePlanes(layout, f, depth, flag, height, sizes, total)) {
        clear3(sizes);
        return 0;
    }
    total += extra_mem;
    uint64_t exactOffsets[3] = {0, 0, 0};
    const uint64_t combined = placeTileStatus(total, layout.planes, sizes, exactOffsets);
    if (combined > kMax32) {
        ve_log_common_debug(VE_LOG_ERROR, Vorn::kDec400Tag,
                            CALC_PREFIX "{layout of %u planes ends beyond 32 bits: no buffer size}\n", layout.planes);
        clear3(sizes);
        return 0;
    }
    for (uint32_t i = 0; i < layout.planes; ++i)
        offsets[i] = static_cast<uint32_t>(exactOffsets[i]);
    logLayout(layout.planes, extra_mem, total, combined, offsets, sizes);
    return static_cast<uint32_t>(combined);
}

namespace dec400util {

uint32_t calcBufferSize(uint32_t fourcc, uint32_t depth, bool flag, uint32_t stride, uint32_t height,
                        uint32_t extra_mem, uint32_t *offsets, uint32_t *sizes)
{
    uint32_t f = 7;  // stays 7 for a fourcc the mapping does not know
    fourcc_to_dax_frame_format(fourcc, &f, nullptr, nullptr);
    return nci_dec400_cmprs_calc_buf_size(f, depth, flag, stride, height, extra_mem, offsets, sizes);
}

uint32_t numberOfPlanes(uint32_t fourcc)
{
    uint32_t f = 0;  // stays 0 for a fourcc the mapping does not know
    fourcc_to_dax_frame_format(fourcc, &f, nullptr, nullptr);
    return nci_dec400_cmpr_get_num_planes(f);
}

}  // namespace dec400util

namespace VornFormats {

uint32_t calculateDec400BufferSize(uint32_t fourcc, uint32_t width, uint32_t height, uint32_t bpl, uint32_t depth,
                                   uint32_t *offsets, uint32_t *sizes)
{
    (void)width;  // the layout depends on the stride only
    uint32_t localOffsets[3] = {0, 0, 0};
    uint32_t localSizes[3] = {0, 0, 0};
    uint32_t result = 0;

    bool flag = false;
    bool supported = true;
    switch (fourcc) {
    case VE_FOURCC_CT12:
        flag = true;
        break;
    case VE_FOURCC_C420:
    case VE_FOURCC_CIYU:
    case VE_FOURCC_CN12:
    case VE_FOURCC_CILE:
    case VE_FOURCC_C010:
    case VE_FOURCC_C012:
    case VE_FOURCC_BG1C:
    case VE_FOURCC_BG8C:
    case VE_FOURCC_GB1C:
    case VE_FOURCC_GB8C:
    case VE_FOURCC_GR1C:
    case VE_FOURCC_GR8C:
    case VE_FOURCC_RG1C:
    case VE_FOURCC_RG8C:
    case VE_FOURCC_P01Y:
    case VE_FOURCC_PC10:
    case VE_FOURCC_PC12:
        break;
    default:
        supported = false;
        break;
    }

    if (supported)
        result = dec400util::calcBufferSize(fourcc, depth, flag, bpl, height, 0, localOffsets, localSizes);
    else
        ve_log_common_debug(VE_LOG_WARNING, VORN_FORMATS_TAG,
                            "Unsupported compressed format 0x%x, not calculating buffer size.", fourcc);

    for (int i = 0; i < 3; ++i) {
        if (offsets != nullptr)
            offsets[i] = localOffsets[i];
        if (sizes != nullptr)
            sizes[i] = localSizes[i];
    }
    return result;
}

}  // namespace VornFormats
