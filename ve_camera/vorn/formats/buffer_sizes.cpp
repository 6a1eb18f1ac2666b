// Line strides and frame buffer sizes as the imaging hardware lays frames out.
//
// A stride is the width scaled to bytes and rounded up; it is computed
// exactly, and a stride that does not fit in 32 bits is reported as 0 (the
// same answer the power-of-two rule gives when no 32-bit power is large
// enough) instead of wrapping into a small, valid-looking value.
//
// Buffer sizes are unsigned 32-bit and computed exactly as well: a frame
// whose size does not fit in 32 bits has size 0, with an error line, since a
// caller allocating a wrapped size would overflow its own buffer.
#include <vorn/formats.h>

#include <cmath>

#include <ve_cipr/ve_log_common.h>

#include "formats_internal.h"

using VornFormats::detail::alignUp;
using VornFormats::detail::kMax32;

namespace {

// How a fourcc's stride is derived from the width.
enum class StrideRule {
    Align,       // align(scale * w, alignment)
    PowerOfTwo,  // next power of two of align(scale * w, alignment)
    Cs42,        // ceil(w / 84) * 128
    Fallback,    // align(w, 64) with a warning
};

struct Stride {
    StrideRule rule;
    uint32_t scale;
    uint32_t alignment;
};

Stride strideOf(uint32_t fourcc)
{
    switch (fourcc) {
    case VE_FOURCC_NV12:
        return {StrideRule::Align, 1, 64};
    case VE_FOURCC_TILE:
    case VE_FOURCC_CT12:
    case VE_FOURCC_IYUV:
    case VE_FOURCC_CILE:
    case VE_FOURCC_CN12:
        return {StrideRule::Align, 1, 128};
    case VE_FOURCC_BG8C:
    case VE_FOURCC_GB8C:
    case VE_FOURCC_GR8C:
    case VE_FOURCC_RG8C:
        return {StrideRule::Align, 1, 512};
    case VE_FOURCC_BA10:
    case VE_FOURCC_BG10:
    case VE_FOURCC_GB10:
    case VE_FOURCC_GR10:
    case VE_FOURCC_RG10:
    case VE_FOURCC_bV0K:
    case VE_FOURCC_IR16:
    case VE_FOURCC_P010:
    case VE_FOURCC_P012:
    case VE_FOURCC_P01L:
    case VE_FOURCC_PL12:
    case VE_FOURCC_PAFi:
    case VE_FOURCC_PAFn:
    case VE_FOURCC_PF8i:
    case VE_FOURCC_PF1n:
    case VE_FOURCC_PF2n:
    case VE_FOURCC_PF4n:
    case VE_FOURCC_PF6n:
        return {StrideRule::Align, 2, 64};
    case VE_FOURCC_V420:
    case VE_FOURCC_P412:
    case VE_FOURCC_PC10:
    case VE_FOURCC_PC12:
    case VE_FOURCC_C010:
    case VE_FOURCC_C012:
    case VE_FOURCC_T010:
    case VE_FOURCC_T012:
        return {StrideRule::Align, 2, 128};
    case VE_FOURCC_BG1C:
    case VE_FOURCC_GB1C:
    case VE_FOURCC_GR1C:
    case VE_FOURCC_RG1C:
        return {StrideRule::Align, 2, 512};
    case VE_FOURCC_PF1i:
    case VE_FOURCC_PF2i:
    case VE_FOURCC_PF4i:
    case VE_FOURCC_PF6i:
    case VE_FOURCC_CSL0:
    case VE_FOURCC_CSL1:
    case VE_FOURCC_CSL2:
    case VE_FOURCC_CSL3:
    case VE_FOURCC_CSL4:
    case VE_FOURCC_CSL5:
    case VE_FOURCC_CSL6:
    case VE_FOURCC_CSL7:
        return {StrideRule::Align, 4, 64};
    case VE_FOURCC_y032:
        return {StrideRule::Align, 6, 64};
    case VE_FOURCC_CS42:
        return {StrideRule::Cs42, 1, 1};
    case VE_FOURCC_CIYU:
        return {StrideRule::PowerOfTwo, 1, 256};
    case VE_FOURCC_P01Y:
    case VE_FOURCC_C420:
        return {StrideRule::PowerOfTwo, 2, 256};
    default:
        return {StrideRule::Fallback, 1, 64};
    }
}

// Smallest 2^k (1 <= k <= 31) not below t; 64 for t < 2; 0 above 2^31.
uint64_t powerOfTwoAtLeast(uint64_t t)
{
    if (t < 2)
        return 64;
    for (uint64_t p = 2; p <= (uint64_t{1} << 31); p <<= 1)
        if (p >= t)
            return p;
    return 0;
}

uint32_t fitOrZero(uint64_t value) { return value <= kMax32 ? static_cast<uint32_t>(value) : 0; }

// The frame being sized, for the line that reports a size out of range.
struct Frame {
    uint32_t fourcc;
    uint32_t width;
    uint32_t height;
    uint32_t bpl;
};

uint32_t reportTooLarge(const Frame &frame)
{
    ve_log_common_debug(VE_LOG_ERROR, VORN_FORMATS_TAG,
                        "Buffer size of %ux%u (stride %u) in format 0x%x does not fit in 32 bits", frame.width,
                        frame.height, frame.bpl, frame.fourcc);
    return 0;
}

// rows x bpl when it fits in 32 bits; 0 with an error line otherwise.
uint32_t productOrZero(uint64_t rows, uint32_t bpl, const Frame &frame)
{
    if (bpl != 0 && rows > kMax32 / bpl)
        return reportTooLarge(frame);
    return static_cast<uint32_t>(rows * bpl);
}

// A non-negative floating-point size truncated to 32 bits; 0 with an error
// line when it does not fit.
uint32_t truncateOrZero(double value, const Frame &frame)
{
    if (!(value >= 0.0) || value >= 4294967296.0)
        return reportTooLarge(frame);
    return static_cast<uint32_t>(value);
}

}  // namespace

uint32_t getBpl(uint32_t fourcc, uint32_t width)
{
    const Stride stride = strideOf(fourcc);
    const uint64_t scaled = uint64_t{stride.scale} * width;
    switch (stride.rule) {
    case StrideRule::Align:
        return fitOrZero(alignUp(scaled, stride.alignment));
    case StrideRule::PowerOfTwo:
        return fitOrZero(powerOfTwoAtLeast(alignUp(scaled, stride.alignment)));
    case StrideRule::Cs42: {
        // At most ceil((2^32 - 1) / 84), so the count itself always fits.
        const double blocks = std::ceil(static_cast<double>(width) * 0.5 / 42.0);
        return fitOrZero(static_cast<uint64_t>(blocks) * 128u);
    }
    case StrideRule::Fallback:
        break;
    }
    ve_log_common_debug(VE_LOG_WARNING, VORN_FORMATS_TAG, "bpl defaulting to width");
    return fitOrZero(alignUp(width, 64));
}

namespace VornFormats {

uint32_t getBpl(const ve_format_t &format, uint32_t width) { return ::getBpl(format.fourcc, width); }

uint32_t calculateBufferSize(const ve_format_t &format, uint32_t width, uint32_t height, uint32_t bpl,
                             uint32_t *offsets, uint32_t *sizes)
{
    const bool computedStride = bpl == 0;
    if (computedStride)
        bpl = getBpl(format, width);

    const uint64_t h = height;
    const Frame frame{format.fourcc, width, height, bpl};
    // A stride that does not fit makes a frame of at least 2^32 bytes; its
    // size below comes out 0.
    if (computedStride && bpl == 0 && width != 0 && height != 0)
        ve_log_common_debug(VE_LOG_ERROR, VORN_FORMATS_TAG,
                            "Stride of %ux%u in format 0x%x does not fit in 32 bits: buffer size 0", width, height,
                            format.fourcc);
    switch (format.fourcc) {
    case VE_FOURCC_T010:
    case VE_FOURCC_T012:
    case VE_FOURCC_TILE: {
        // Luma rows and half as many chroma rows, each rounded up to 32.
        const uint64_t rows = alignUp(h / 2, 32) + alignUp(h, 32);
        return productOrZero(rows, bpl, frame);
    }
    case VE_FOURCC_y032: {
        // Two pixel rows share one stride.
        const float size = static_cast<float>(height) / 2.0f * static_cast<float>(bpl);
        return truncateOrZero(size, frame);
    }
    case VE_FOURCC_BA10:
    case VE_FOURCC_BG10:
    case VE_FOURCC_GB10:
    case VE_FOURCC_GR10:
    case VE_FOURCC_RG10:
    case VE_FOURCC_bV0K:
    case VE_FOURCC_BGGR:
    case VE_FOURCC_GBRG:
    case VE_FOURCC_GRBG:
    case VE_FOURCC_RGGB:
    case VE_FOURCC_CSBA:
        return productOrZero(h, bpl, frame);
    case VE_FOURCC_BG8C:
    case VE_FOURCC_GB8C:
    case VE_FOURCC_GR8C:
    case VE_FOURCC_RG8C:
    case VE_FOURCC_BG1C:
    case VE_FOURCC_GB1C:
    case VE_FOURCC_GR1C:
    case VE_FOURCC_RG1C:
    case VE_FOURCC_CIYU:
    case VE_FOURCC_C420:
    case VE_FOURCC_P01Y:
    case VE_FOURCC_CN12:
    case VE_FOURCC_CT12:
    case VE_FOURCC_CILE:
    case VE_FOURCC_C010:
    case VE_FOURCC_C012:
    case VE_FOURCC_PC10:
    case VE_FOURCC_PC12:
        return calculateDec400BufferSize(format.fourcc, width, height, bpl, format.depth, offsets, sizes);
    default: {
        // 4:2:0 sized: one and a half bytes per stride byte and row, as a
        // single-precision product.
        const float size = static_cast<float>(height) * static_cast<float>(bpl) * 1.5f;
        return truncateOrZero(size, frame);
    }
    }
}

}  // namespace VornFormats
