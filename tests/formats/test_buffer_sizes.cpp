// Line strides and frame buffer sizes.
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <log_capture.h>
#include <ve_cipr/ve_log_common.h>
#include <vorn/formats.h>

using namespace VornFormats;

namespace {

const char *const kTag = "VornFormats[XOS]";
const char *const kFallback = "bpl defaulting to width";

ve_format_t formatWith(uint32_t fourcc, uint32_t depth = 8)
{
    ve_format_t format;
    format.fourcc = fourcc;
    format.depth = depth;
    return format;
}

struct StrideGroup {
    const char *rule;
    std::vector<uint32_t> fourccs;
    uint32_t width;
    uint32_t expected;
};

}  // namespace

TEST(Strides, EveryRuleForEveryCode)
{
    const StrideGroup groups[] = {
        {"align(w, 64)", {VE_FOURCC_NV12}, 100, 128},
        {"align(w, 128)", {VE_FOURCC_TILE, VE_FOURCC_CT12, VE_FOURCC_IYUV, VE_FOURCC_CILE, VE_FOURCC_CN12}, 129, 256},
        {"align(w, 512)", {VE_FOURCC_BG8C, VE_FOURCC_GB8C, VE_FOURCC_GR8C, VE_FOURCC_RG8C}, 513, 1024},
        // 2 * 100 = 200 -> 256
        {"align(2w, 64)",
         {VE_FOURCC_BA10, VE_FOURCC_BG10, VE_FOURCC_GB10, VE_FOURCC_GR10, VE_FOURCC_RG10, VE_FOURCC_bV0K,
          VE_FOURCC_IR16, VE_FOURCC_P010, VE_FOURCC_P012, VE_FOURCC_P01L, VE_FOURCC_PL12, VE_FOURCC_PAFi,
          VE_FOURCC_PAFn, VE_FOURCC_PF8i, VE_FOURCC_PF1n, VE_FOURCC_PF2n, VE_FOURCC_PF4n, VE_FOURCC_PF6n},
         100,
         256},
        // 2 * 65 = 130 -> 256 (align(w, 64) would give 128)
        {"align(2w, 128)",
         {VE_FOURCC_V420, VE_FOURCC_P412, VE_FOURCC_PC10, VE_FOURCC_PC12, VE_FOURCC_C010, VE_FOURCC_C012,
          VE_FOURCC_T010, VE_FOURCC_T012},
         65,
         256},
        // 2 * 257 = 514 -> 1024
        {"align(2w, 512)", {VE_FOURCC_BG1C, VE_FOURCC_GB1C, VE_FOURCC_GR1C, VE_FOURCC_RG1C}, 257, 1024},
        // 4 * 100 = 400 -> 448
        {"align(4w, 64)",
         {VE_FOURCC_PF1i, VE_FOURCC_PF2i, VE_FOURCC_PF4i, VE_FOURCC_PF6i, VE_FOURCC_CSL0, VE_FOURCC_CSL1,
          VE_FOURCC_CSL2, VE_FOURCC_CSL3, VE_FOURCC_CSL4, VE_FOURCC_CSL5, VE_FOURCC_CSL6, VE_FOURCC_CSL7},
         100,
         448},
        {"align(6w, 64)", {VE_FOURCC_y032}, 100, 640},  // 600 -> 640
        {"ceil(w / 84) * 128", {VE_FOURCC_CS42}, 85, 256},
        // align(257, 256) = 512, already a power of two
        {"pow2(align(w, 256))", {VE_FOURCC_CIYU}, 257, 512},
        // 2 * 640 = 1280 -> align 1280 -> 2048
        {"pow2(align(2w, 256))", {VE_FOURCC_P01Y, VE_FOURCC_C420}, 640, 2048},
        {"fallback align(w, 64)",
         {VE_FOURCC_BGGR,
          VE_FOURCC_GBRG,
          VE_FOURCC_GRBG,
          VE_FOURCC_RGGB,
          VE_FOURCC_pBAA,
          VE_FOURCC_pGAA,
          VE_FOURCC_pgAA,
          VE_FOURCC_pRAA,
          VE_FOURCC_bV0G,
          VE_FOURCC_UYVY,
          VE_FOURCC_YUY2,
          VE_FOURCC_CS40,
          VE_FOURCC_S420,
          VE_FOURCC_P21Y,
          VE_FOURCC_YV12,
          VE_FOURCC_NANA,
          VE_FOURCC_M420,
          VE_FOURCC_NV21,
          VE_FOURCC_NV16,
          VE_FOURCC_T01L,
          VE_FOURCC_TL12,
          VE_FOURCC_P016,
          VE_FOURCC_PF8n,
          VE_FOURCC_CSYI,
          VE_FOURCC_Y008,
          VE_FOURCC_RESI,
          VE_FOURCC_MOVE,
          VE_FOURCC_SR48,
          0u},
         100,
         128},
    };
    for (const StrideGroup &group : groups) {
        for (uint32_t fourcc : group.fourccs) {
            SCOPED_TRACE(std::string(group.rule) + " fourcc " + std::to_string(fourcc));
            vorn_test::LogCapture log;
            EXPECT_EQ(getBpl(fourcc, group.width), group.expected);
            EXPECT_EQ(getBpl(formatWith(fourcc), group.width), group.expected);
            const bool fallback = std::string(group.rule).rfind("fallback", 0) == 0;
            EXPECT_EQ(log.count(VE_LOG_WARNING, kTag, kFallback), fallback ? 2u : 0u) << log.dump();
            EXPECT_EQ(log.lines().size(), fallback ? 2u : 0u);
        }
    }
}

TEST(Strides, RoundingBoundaries)
{
    EXPECT_EQ(getBpl(VE_FOURCC_NV12, 640), 640u);
    EXPECT_EQ(getBpl(VE_FOURCC_NV12, 641), 704u);
    EXPECT_EQ(getBpl(VE_FOURCC_NV12, 0), 0u);
    EXPECT_EQ(getBpl(VE_FOURCC_CS42, 0), 0u);
    EXPECT_EQ(getBpl(VE_FOURCC_CS42, 84), 128u);    // exactly one block
    EXPECT_EQ(getBpl(VE_FOURCC_CS42, 169), 384u);   // 169 / 84 = 2.01 -> three
    EXPECT_EQ(getBpl(VE_FOURCC_CIYU, 640), 1024u);  // align 768 -> 1024
    EXPECT_EQ(getBpl(VE_FOURCC_CIYU, 0), 64u);      // aligned value 0 < 2
    EXPECT_EQ(getBpl(VE_FOURCC_C420, 0), 64u);
}

// Strides that do not fit in 32 bits are 0, never a wrapped small value.
TEST(Strides, WidthsNearTheLimit)
{
    EXPECT_EQ(getBpl(VE_FOURCC_NV12, 0xFFFFFFC0u), 0xFFFFFFC0u);  // already aligned
    EXPECT_EQ(getBpl(VE_FOURCC_NV12, 0xFFFFFFC1u), 0u);           // would be 2^32
    EXPECT_EQ(getBpl(VE_FOURCC_BG8C, 0xFFFFFE00u), 0xFFFFFE00u);
    EXPECT_EQ(getBpl(VE_FOURCC_BG8C, 0xFFFFFE01u), 0u);
    EXPECT_EQ(getBpl(VE_FOURCC_BA10, 0x7FFFFFE0u), 0xFFFFFFC0u);  // 2w = 0xFFFFFFC0
    EXPECT_EQ(getBpl(VE_FOURCC_BA10, 0x7FFFFFE1u), 0u);           // 2w = 0xFFFFFFC2 -> 2^32
    EXPECT_EQ(getBpl(VE_FOURCC_BA10, 0x80000020u), 0u);           // 2w wrapped would be 64
    EXPECT_EQ(getBpl(VE_FOURCC_CSL0, 0x3FFFFFF0u), 0xFFFFFFC0u);  // 4w = 0xFFFFFFC0
    EXPECT_EQ(getBpl(VE_FOURCC_CSL0, 0x40000000u), 0u);
    EXPECT_EQ(getBpl(VE_FOURCC_y032, 0xFFFFFFFFu), 0u);
    // 33554431 blocks * 128 = 4294967168 fits; w = 84 * 33554431 = 2818572204.
    EXPECT_EQ(getBpl(VE_FOURCC_CS42, 2818572204u), 4294967168u);
    EXPECT_EQ(getBpl(VE_FOURCC_CS42, 2818572205u), 0u);  // 2^25 blocks = 2^32
    EXPECT_EQ(getBpl(VE_FOURCC_CS42, 0xFFFFFFFFu), 0u);
    EXPECT_EQ(getBpl(VE_FOURCC_CIYU, 0x80000000u), 0x80000000u);  // 2^31 is the largest power
    EXPECT_EQ(getBpl(VE_FOURCC_CIYU, 0x80000001u), 0u);           // align 2^31 + 256 > 2^31
    EXPECT_EQ(getBpl(VE_FOURCC_CIYU, 0xFFFFFFFFu), 0u);
    EXPECT_EQ(getBpl(VE_FOURCC_P01Y, 0x40000000u), 0x80000000u);  // 2w = 2^31
    EXPECT_EQ(getBpl(VE_FOURCC_P01Y, 0x40000001u), 0u);
    vorn_test::LogCapture log;
    EXPECT_EQ(getBpl(VE_FOURCC_UYVY, 0xFFFFFFFFu), 0u);
    EXPECT_EQ(log.count(VE_LOG_WARNING, kTag, kFallback), 1u);
}

TEST(BufferSizes, EveryRule)
{
    // bpl 0: the stride comes from getBpl. NV12 640 -> 640; 480 * 640 * 1.5.
    EXPECT_EQ(calculateBufferSize(formatWith(VE_FOURCC_NV12), 640, 480, 0), 460800u);
    // NV12 641 -> 704; 480 * 704 * 1.5 = 506880.
    EXPECT_EQ(calculateBufferSize(formatWith(VE_FOURCC_NV12), 641, 480, 0), 506880u);
    // A given stride wins over the width: 480 * 1000 * 1.5.
    EXPECT_EQ(calculateBufferSize(formatWith(VE_FOURCC_NV12), 641, 480, 1000), 720000u);

    // Tiled: (align(h / 2, 32) + align(h, 32)) * bpl.
    // h 100: (64 + 128) * 256 = 49152.
    EXPECT_EQ(calculateBufferSize(formatWith(VE_FOURCC_T010), 0, 100, 256), 49152u);
    // h 33: (align(16) 32 + align(33) 64) * 128 = 12288.
    EXPECT_EQ(calculateBufferSize(formatWith(VE_FOURCC_TILE), 0, 33, 128), 12288u);
    // T012 width 100: bpl align(200, 128) = 256; h 64: (32 + 64) * 256 = 24576.
    EXPECT_EQ(calculateBufferSize(formatWith(VE_FOURCC_T012), 100, 64, 0), 24576u);

    // y032: (h / 2) * bpl in floating point: 50 * 640, and 50.5 * 640 = 32320.
    EXPECT_EQ(calculateBufferSize(formatWith(VE_FOURCC_y032), 0, 100, 640), 32000u);
    EXPECT_EQ(calculateBufferSize(formatWith(VE_FOURCC_y032), 0, 101, 640), 32320u);

    // bpl * h for the unpacked Bayer codes: 3 * 64 = 192 (the 1.5 rule gives 288).
    for (uint32_t fourcc :
         {VE_FOURCC_BA10, VE_FOURCC_BG10, VE_FOURCC_GB10, VE_FOURCC_GR10, VE_FOURCC_RG10, VE_FOURCC_bV0K,
          VE_FOURCC_BGGR, VE_FOURCC_GBRG, VE_FOURCC_GRBG, VE_FOURCC_RGGB, VE_FOURCC_CSBA})
        EXPECT_EQ(calculateBufferSize(formatWith(fourcc), 0, 3, 64), 192u) << fourcc;
    EXPECT_EQ(calculateBufferSize(formatWith(VE_FOURCC_BA10), 0, 100, 256), 25600u);
    for (uint32_t fourcc : {VE_FOURCC_UYVY, VE_FOURCC_bV0G, VE_FOURCC_P21Y, VE_FOURCC_IR16, 0u})
        EXPECT_EQ(calculateBufferSize(formatWith(fourcc), 0, 3, 64), 288u) << fourcc;

    // Outputs are only written for compressed formats.
    uint32_t offsets[3] = {7, 7, 7};
    uint32_t sizes[3] = {7, 7, 7};
    EXPECT_EQ(calculateBufferSize(formatWith(VE_FOURCC_NV12), 640, 480, 0, offsets, sizes), 460800u);
    EXPECT_EQ(offsets[0], 7u);
    EXPECT_EQ(sizes[2], 7u);

    // Compressed: CN12 width 200 -> bpl align(200, 128) = 256, height 100.
    // Luma rows 128: 32768 bytes, 256 tiles of 128 -> 1 bit each -> 32 bytes.
    // Chroma rows 50 -> 64: 16384 bytes, 128 tiles -> 16 bytes.
    // Images 49152; areas at 49152 and align(49184) = 53248; end align(53264) = 57344.
    EXPECT_EQ(calculateBufferSize(formatWith(VE_FOURCC_CN12), 200, 100, 0, offsets, sizes), 57344u);
    EXPECT_EQ(offsets[0], 49152u);
    EXPECT_EQ(offsets[1], 53248u);
    EXPECT_EQ(offsets[2], 0u);
    EXPECT_EQ(sizes[0], 32u);
    EXPECT_EQ(sizes[1], 16u);
    EXPECT_EQ(sizes[2], 0u);
    // BG1C depth 10, width 100 -> bpl align(200, 512) = 512, h 100: 51200 bytes,
    // 100 tiles of 512 at 4 bits -> 50 bytes; area at align(51200) = 53248,
    // end align(53298) = 57344.
    EXPECT_EQ(calculateBufferSize(formatWith(VE_FOURCC_BG1C, 10), 100, 100, 0, offsets, sizes), 57344u);
    EXPECT_EQ(offsets[0], 53248u);
    EXPECT_EQ(sizes[0], 50u);
    // Compressed with a depth outside 8/10/12 has no tile size: 0.
    EXPECT_EQ(calculateBufferSize(formatWith(VE_FOURCC_BG1C, 16), 100, 100, 0, offsets, sizes), 0u);
    EXPECT_EQ(sizes[0], 0u);
}

TEST(BufferSizes, LargeValuesWithoutUndefinedBehaviour)
{
    // Single precision: 2^24 + 1 becomes 2^24, so 3 * 16777216 * 1.5 = 75497472
    // (exactly it would be 75497473.5).
    EXPECT_EQ(calculateBufferSize(formatWith(VE_FOURCC_UYVY), 0, 3, 16777217), 75497472u);
    // 0xAAAAAA00 * 1.5 = 0xFFFFFF00 still fits.
    EXPECT_EQ(calculateBufferSize(formatWith(VE_FOURCC_UYVY), 0, 1, 0xAAAAAA00u), 0xFFFFFF00u);
    // 2^16 * 2^16 * 1.5 does not fit: 0.
    EXPECT_EQ(calculateBufferSize(formatWith(VE_FOURCC_UYVY), 0, 65536, 65536), 0u);
    EXPECT_EQ(calculateBufferSize(formatWith(VE_FOURCC_UYVY), 0, 0xFFFFFFFFu, 0xFFFFFFFFu), 0u);
    EXPECT_EQ(calculateBufferSize(formatWith(VE_FOURCC_y032), 0, 0xFFFFFFFFu, 0xFFFFFFFFu), 0u);
    // 2^31 * 2 rows of y032 = 2^32: does not fit.
    EXPECT_EQ(calculateBufferSize(formatWith(VE_FOURCC_y032), 0, 4, 0x80000000u), 0u);
    // Tiled rows: align(0xFFFFFFE1, 32) would be 2^32: 0.
    EXPECT_EQ(calculateBufferSize(formatWith(VE_FOURCC_TILE), 0, 0xFFFFFFE1u, 64), 0u);
    // A width whose stride does not fit gives stride 0, hence size 0.
    EXPECT_EQ(calculateBufferSize(formatWith(VE_FOURCC_BA10), 0x80000000u, 100, 0), 0u);
}

// A frame of 4 GiB or more has no 32-bit size: 0 with an error line, never
// the low 32 bits of its size, which a caller would allocate and overflow.
TEST(BufferSizes, FramesBeyond32BitsHaveSizeZeroAndAnErrorLine)
{
    char line[128];
    std::snprintf(line, sizeof line, "Buffer size of 32768x65537 (stride 65536) in format 0x%x does not fit in 32 bits",
                  VE_FOURCC_GR10);
    struct Case {
        uint32_t fourcc, width, height, bpl;
    };
    const Case cases[] = {
        {VE_FOURCC_GR10, 32768, 65537, 0},              // 65537 rows of 65536 bytes: 2^32 + 65536
        {VE_FOURCC_BA10, 0, 0xFFFFFFFFu, 0xFFFFFFFFu},  // (2^32 - 1)^2
        {VE_FOURCC_GRBG, 0, 65536, 65536},              // exactly 2^32
        // 0x80000000 + 0xFFFFFFE0 tiled rows of 64 bytes
        {VE_FOURCC_TILE, 0, 0xFFFFFFE0u, 64},
        // 0x55555560 + 0xAAAAAAA0 tiled rows of 1 byte: exactly 2^32
        {VE_FOURCC_TILE, 0, 0xAAAAAAA0u, 1},
        {VE_FOURCC_UYVY, 0, 65536, 65536},  // 1.5 * 2^32 in single precision
        {VE_FOURCC_y032, 0, 4, 0x80000000u},
        {VE_FOURCC_BA10, 0x80000000u, 1, 0},  // stride 2^32
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.fourcc);
        vorn_test::LogCapture log;
        EXPECT_EQ(calculateBufferSize(formatWith(c.fourcc), c.width, c.height, c.bpl), 0u);
        EXPECT_EQ(log.lines().size(), 1u) << log.dump();
        EXPECT_TRUE(log.contains("does not fit in 32 bits")) << log.dump();
    }
    vorn_test::LogCapture log;
    calculateBufferSize(formatWith(VE_FOURCC_GR10), 32768, 65537, 0);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, line)) << log.dump();

    // The largest sizes that fit are still given, without a line.
    log.clear();
    EXPECT_EQ(calculateBufferSize(formatWith(VE_FOURCC_BA10), 0, 1, 0xFFFFFFFFu), 0xFFFFFFFFu);
    EXPECT_EQ(calculateBufferSize(formatWith(VE_FOURCC_GR10), 0, 65535, 65537), 0xFFFFFFFFu);
    // 0x55555540 + 0xAAAAAA80 tiled rows of 1 byte.
    EXPECT_EQ(calculateBufferSize(formatWith(VE_FOURCC_TILE), 0, 0xAAAAAA80u, 1), 0xFFFFFFC0u);
    EXPECT_TRUE(log.lines().empty()) << log.dump();
}
