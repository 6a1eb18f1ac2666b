// DEC400 compressed layouts: frame-format properties, the fourcc mapping and
// buffer sizes.
#include <initializer_list>
#include <string>

#include <gtest/gtest.h>

#include <log_capture.h>
#include <ve_cipr/ve_log_common.h>
#include <vorn/formats.h>

namespace {

const char *const kDec400Tag = "VE_DEC400_UTIL_WRAPPER[XOS]";
const std::string kPrefix = "nci_dec400_cmprs_calc_buf_size || ";

uint32_t fourccOf(const char *text)
{
    return (uint32_t(uint8_t(text[0])) << 24) | (uint32_t(uint8_t(text[1])) << 16) | (uint32_t(uint8_t(text[2])) << 8) |
           uint32_t(uint8_t(text[3]));
}

bool in(std::initializer_list<uint32_t> set, uint32_t f)
{
    for (uint32_t value : set)
        if (value == f)
            return true;
    return false;
}

// Frame-format numbers 0..64 plus a few far outside.
std::vector<uint32_t> allFrameFormats()
{
    std::vector<uint32_t> all;
    for (uint32_t f = 0; f <= 64; ++f)
        all.push_back(f);
    all.insert(all.end(), {100u, 0x7FFFFFFFu, 0xFFFFFFFFu});
    return all;
}

}  // namespace

TEST(Dec400, FourccToFrameFormatCoversTheWholeMapping)
{
    struct Mapping {
        const char *fourcc;
        uint32_t format;
        bool raw, packed;
    };
    const Mapping mappings[] = {
        {"P01Y", 3, 0, 0},
        {"CIYU", 3, 0, 0},
        {"C420", 3, 0, 0},
        {"CSYI", 3, 0, 0},
        {"IYUV", 3, 0, 0},
        {"P412", 3, 0, 0},
        {"S420", 3, 0, 0},
        {"V420", 3, 0, 0},
        {"CS40", 3, 0, 1},
        {"CS42", 3, 0, 1},
        {"YV12", 4, 0, 0},
        {"NV12", 5, 0, 0},
        {"CN12", 5, 0, 0},
        {"CT12", 5, 0, 0},
        {"TILE", 7, 0, 0},
        {"CILE", 7, 0, 0},
        {"NV21", 8, 0, 0},
        {"NV16", 11, 0, 0},
        {"YUY2", 14, 0, 0},
        {"CSYP", 16, 0, 0},
        {"GRBG", 20, 1, 0},
        {"GR10", 20, 1, 0},
        {"GR1C", 20, 1, 0},
        {"GR8C", 20, 1, 0},
        {"pgAA", 20, 1, 1},
        {"pgCC", 20, 1, 1},
        {"RGGB", 21, 1, 0},
        {"RG1C", 21, 1, 0},
        {"RG8C", 21, 1, 0},
        {"pRAA", 21, 1, 1},
        {"pRCC", 21, 1, 1},
        {"BGGR", 22, 1, 0},
        {"BG1C", 22, 1, 0},
        {"BG8C", 22, 1, 0},
        {"pBAA", 22, 1, 1},
        {"pBCC", 22, 1, 1},
        {"GBRG", 23, 1, 0},
        {"GB1C", 23, 1, 0},
        {"GB8C", 23, 1, 0},
        {"pGAA", 23, 1, 1},
        {"pGCC", 23, 1, 1},
        {"M420", 24, 0, 0},
        {"CSYC", 24, 0, 0},
        {"BA10", 25, 1, 0},
        {"BA12", 25, 1, 0},
        {"CSBA", 25, 1, 0},
        {"GR08", 25, 1, 0},
        {"BIN8", 28, 0, 0},
        {"CSL0", 42, 1, 0},
        {"CSL1", 42, 1, 0},
        {"CSL2", 42, 1, 0},
        {"CSL3", 42, 1, 0},
        {"CSL4", 42, 1, 0},
        {"CSL5", 42, 1, 0},
        {"CSL6", 42, 1, 0},
        {"CSL7", 42, 1, 0},
        {"y032", 47, 0, 0},
        {"y036", 47, 0, 1},
        {"P01L", 49, 0, 0},
        {"P010", 50, 0, 0},
        {"PC10", 50, 0, 0},
        {"PL12", 51, 0, 0},
        {"P012", 52, 0, 0},
        {"PC12", 52, 0, 0},
        {"C010", 54, 0, 0},
        {"T010", 54, 0, 0},
        {"C012", 56, 0, 0},
        {"T012", 56, 0, 0},
        {"PAFn", 61, 1, 0},
        {"PF1n", 61, 1, 0},
        {"PF2n", 61, 1, 0},
        {"PF4n", 61, 1, 0},
        {"PF6n", 61, 1, 0},
        {"PF8n", 61, 1, 0},
        {"PAFi", 62, 1, 0},
        {"PF1i", 62, 1, 0},
        {"PF2i", 62, 1, 0},
        {"PF4i", 62, 1, 0},
        {"PF6i", 62, 1, 0},
        {"PF8i", 62, 1, 0},
        {"IR16", 63, 0, 0},
        // Vector raw: bV0E..bV0L unpacked, bV0M..bV0T packed.
        {"bV0E", 43, 1, 0},
        {"bV0G", 43, 1, 0},
        {"bV0K", 43, 1, 0},
        {"bV0L", 43, 1, 0},
        {"bV0M", 43, 1, 1},
        {"bV0N", 43, 1, 1},
        {"bV0T", 43, 1, 1},
    };
    vorn_test::LogCapture log;
    for (const Mapping &m : mappings) {
        SCOPED_TRACE(m.fourcc);
        uint32_t format = 999;
        bool raw = !m.raw, packed = !m.packed;
        EXPECT_EQ(fourcc_to_dax_frame_format(fourccOf(m.fourcc), &format, &raw, &packed), err_none);
        EXPECT_EQ(format, m.format);
        EXPECT_EQ(raw, m.raw);
        EXPECT_EQ(packed, m.packed);
        EXPECT_EQ(fourcc_to_dax_frame_format(fourccOf(m.fourcc), nullptr, nullptr, nullptr), err_none);
    }
    EXPECT_EQ(fourccOf("bV0E"), 0x62563045u);
    EXPECT_EQ(fourccOf("bV0M"), 0x6256304Du);

    // Codes outside the mapping, including the neighbours of the vector-raw
    // runs and formats of the table that have no frame format.
    for (const char *unknown : {"bV0D", "bV0U", "UYVY", "P21Y", "NANA", "SR48", "CSL8"}) {
        uint32_t format = 999;
        bool raw = true, packed = true;
        EXPECT_EQ(fourcc_to_dax_frame_format(fourccOf(unknown), &format, &raw, &packed), err_argument) << unknown;
        EXPECT_EQ(format, 999u);
        EXPECT_TRUE(raw && packed);
    }
    // One entry line per call: 2 per mapping above, 7 unknown.
    const size_t calls = 2 * (sizeof(mappings) / sizeof(mappings[0])) + 7;
    EXPECT_EQ(log.count(VE_LOG_ENTRY, "XOS_PSYS_FORMAT_UTILS[XOS]", "E:fourcc_to_dax_frame_format"), calls);
    EXPECT_EQ(log.lines().size(), calls);
}

TEST(Dec400, FrameFormatPropertiesForEveryNumber)
{
    for (uint32_t f : allFrameFormats()) {
        SCOPED_TRACE("frame format " + std::to_string(f));
        const bool bayer = f >= 20 && f <= 23;
        const bool yuv420 = in({3, 5, 7, 49, 50, 51, 52, 53, 54, 55, 56}, f);

        const bool valid = in({3, 5, 7, 20, 21, 22, 23, 50, 54, 56}, f);
        EXPECT_EQ(nci_dec400_psys_cmprs_validate_format(f, false), valid);
        EXPECT_EQ(nci_dec400_psys_cmprs_validate_format(f, true), valid);

        for (uint32_t depth : {0u, 8u, 10u, 12u, 16u}) {
            bool expected = false;
            if (f == 3 || bayer)
                expected = depth == 8 || depth == 10 || depth == 12;
            else if (f == 5 || f == 7)
                expected = depth == 8;
            else if (f == 50 || f == 54)
                expected = depth == 10;
            else if (f == 56)
                expected = depth == 12;
            EXPECT_EQ(nci_dec400_psys_cmprs_validate_bit_depth(f, depth), expected) << depth;
        }

        const uint32_t bitDepth = in({5, 7}, f) ? 8 : in({50, 54}, f) ? 10 : f == 56 ? 12 : 0;
        EXPECT_EQ(nci_dec400_psys_cmprs_get_bit_depth(f, false), bitDepth);
        EXPECT_EQ(nci_dec400_psys_cmprs_get_bit_depth(f, true), bitDepth);

        EXPECT_EQ(nci_dec400_cmpr_get_num_planes(f), f == 3 ? 3u : yuv420 ? 2u : 1u);
        EXPECT_EQ(nci_dec400_cmpr_get_chroma_height_div(f), yuv420 ? 2u : 1u);
        EXPECT_EQ(nci_dec400_cmpr_get_chroma_stride_div(f), f == 3 ? 2u : 1u);
        EXPECT_EQ(nci_dec400_cmprs_is_tiled(f), in({7, 54, 56}, f));

        // {returned alignment, a without flag, a with flag}
        uint32_t alignment = 1, aPlain = 1, aFlag = 1;
        if (f == 3)
            alignment = 256, aPlain = aFlag = 2;
        else if (bayer)
            alignment = 512;
        else if (in({7, 54, 56}, f))
            alignment = 64, aPlain = aFlag = 8;
        else if (in({5, 50}, f))
            alignment = 128, aPlain = 2, aFlag = 4;
        uint32_t a = 99, b = 99;
        EXPECT_EQ(nci_dec400_cmprs_get_stride_alignment(f, 8, false, &a, &b), alignment);
        EXPECT_EQ(a, aPlain);
        EXPECT_EQ(b, 0u);
        EXPECT_EQ(nci_dec400_cmprs_get_stride_alignment(f, 8, true, &a, nullptr), alignment);
        EXPECT_EQ(a, aFlag);
        EXPECT_EQ(nci_dec400_cmprs_get_stride_alignment(f, 8, true, nullptr, nullptr), alignment);
    }
}

TEST(Dec400, TileSizesForEveryNumberPlaneAndFlag)
{
    struct Tiles {
        uint32_t f;
        uint32_t plain[3];
        uint32_t flagged[3];
    };
    const Tiles tiles[] = {
        {3, {256, 128, 128}, {256, 128, 128}},  {5, {128, 128, 128}, {512, 256, 0}},
        {7, {256, 256, 256}, {256, 256, 256}},  {20, {512, 512, 512}, {512, 512, 512}},
        {21, {512, 512, 512}, {512, 512, 512}}, {22, {512, 512, 512}, {512, 512, 512}},
        {23, {512, 512, 512}, {512, 512, 512}}, {50, {256, 256, 256}, {512, 256, 0}},
        {52, {256, 256, 256}, {512, 256, 0}},   {54, {256, 256, 256}, {256, 256, 256}},
        {56, {256, 256, 256}, {256, 256, 256}},
    };
    for (uint32_t f : allFrameFormats()) {
        const Tiles *row = nullptr;
        for (const Tiles &t : tiles)
            if (t.f == f)
                row = &t;
        for (uint32_t plane = 0; plane < 3; ++plane) {
            SCOPED_TRACE("frame format " + std::to_string(f) + " plane " + std::to_string(plane));
            EXPECT_EQ(nci_dec400_cmpr_get_tile_size(f, 8, plane, false), row ? row->plain[plane] : 0u);
            EXPECT_EQ(nci_dec400_cmpr_get_tile_size(f, 8, plane, true), row ? row->flagged[plane] : 0u);
        }
    }
    // Only the Bayer numbers depend on the bit depth.
    for (uint32_t depth : {10u, 12u})
        EXPECT_EQ(nci_dec400_cmpr_get_tile_size(21, depth, 0, false), 512u);
    for (uint32_t depth : {0u, 9u, 14u, 16u})
        EXPECT_EQ(nci_dec400_cmpr_get_tile_size(21, depth, 0, false), 0u);
    EXPECT_EQ(nci_dec400_cmpr_get_tile_size(3, 16, 0, false), 256u);
    EXPECT_EQ(nci_dec400_cmpr_get_tile_size(56, 0, 1, true), 256u);
}

TEST(Dec400, IsysStrideAlignment)
{
    for (uint32_t pin : {0u, 1u, 2u, 3u, 4u})
        for (uint32_t format : {19u, 20u, 24u, 25u})
            for (uint32_t mipi : {41u, 42u, 43u, 44u, 45u}) {
                const bool match = (pin == 1 || pin == 3) && (format == 20 || format == 24) && mipi >= 42 && mipi <= 44;
                bool flag = !match;
                EXPECT_EQ(nci_dec400_isys_cmprs_get_stride_alignment(pin, format, mipi, &flag), match ? 512u : 0u)
                    << pin << " " << format << " " << mipi;
                EXPECT_EQ(flag, match);
                EXPECT_EQ(nci_dec400_isys_cmprs_get_stride_alignment(pin, format, mipi, nullptr), match ? 512u : 0u);
            }
}

TEST(Dec400, PlaneSizes)
{
    struct Case {
        uint32_t stride, height, tile;
        bool tiled;
        uint32_t image, ts;
    };
    const Case cases[] = {
        {256, 128, 128, false, 32768, 32},  // 256 tiles * 1 bit
        {256, 128, 64, false, 32768, 64},   // 512 tiles * 1 bit
        {256, 128, 256, false, 32768, 32},  // 128 tiles * 2 bits
        {256, 128, 512, false, 32768, 32},  // 64 tiles * 4 bits
        {256, 128, 256, true, 32768, 128},  // 128 tiles * 8 bits
        {100, 1, 64, false, 100, 1},        // 1 whole tile, 1 bit rounds up to a byte
        {10, 1, 64, false, 10, 0},          // no whole tile
        // one byte per 256-byte tile: 0xFFFF0000 in all, still within 32 bits
        {0xFF000000u, 1, 256, true, 0xFF000000u, 0xFF0000u},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.stride) + "x" + std::to_string(c.height) + " tile " + std::to_string(c.tile));
        uint32_t image = 7, ts = 7;
        EXPECT_EQ(nci_dec400_cmprs_calc_plane_buf_size(c.stride, c.height, c.tile, c.tiled, &image, &ts),
                  static_cast<uint32_t>(uint64_t{c.image} + c.ts));
        EXPECT_EQ(image, c.image);
        EXPECT_EQ(ts, c.ts);
    }
    // Tile size 0 has no tile-status layout: no division, everything 0.
    uint32_t image = 7, ts = 7;
    EXPECT_EQ(nci_dec400_cmprs_calc_plane_buf_size(256, 128, 0, false, &image, &ts), 0u);
    EXPECT_EQ(image, 0u);
    EXPECT_EQ(ts, 0u);
    EXPECT_EQ(nci_dec400_cmprs_calc_plane_buf_size(256, 128, 0, true, nullptr, nullptr), 0u);

    // A size that does not fit in 32 bits is 0 (never its low 32 bits), with
    // an error line: the image, or the sum of image and tile status.
    const Case tooLarge[] = {
        {65536, 65537, 64, false, 0, 0},                      // image 2^32 + 65536
        {0xFFFFFFFFu, 0xFFFFFFFFu, 1, true, 0, 0},            // image near 2^64
        {0xFFFFFFFFu, 1, 1, true, 0xFFFFFFFFu, 0xFFFFFFFFu},  // each fits, the sum does not
    };
    for (const Case &c : tooLarge) {
        SCOPED_TRACE(std::to_string(c.stride) + "x" + std::to_string(c.height));
        vorn_test::LogCapture log;
        image = ts = 7;
        EXPECT_EQ(nci_dec400_cmprs_calc_plane_buf_size(c.stride, c.height, c.tile, c.tiled, &image, &ts), 0u);
        EXPECT_EQ(image, c.image);
        EXPECT_EQ(ts, c.ts);
        EXPECT_TRUE(log.contains("fit in 32 bits: no size")) << log.dump();
    }
}

TEST(Dec400, BufferSizeOfTheSemiPlanarExampleAndItsLog)
{
    // Frame format 5, stride 256, height 100. Luma rows 100 -> 128: 32768
    // bytes, 256 tiles of 128 at 1 bit = 32 bytes. Chroma rows 50 -> 64:
    // 16384 bytes, 16 bytes. Images 49152 = 12 * 4096: areas at 49152 and
    // align(49184) = 53248; end align(53264) = 57344.
    vorn_test::LogCapture log;
    uint32_t offsets[3] = {7, 7, 7}, sizes[3] = {7, 7, 7};
    EXPECT_EQ(nci_dec400_cmprs_calc_buf_size(5, 8, false, 256, 100, 0, offsets, sizes), 57344u);
    EXPECT_EQ(offsets[0], 49152u);
    EXPECT_EQ(offsets[1], 53248u);
    EXPECT_EQ(offsets[2], 0u);
    EXPECT_EQ(sizes[0], 32u);
    EXPECT_EQ(sizes[1], 16u);
    EXPECT_EQ(sizes[2], 0u);
    const char *const expected[] = {
        "{img_buf_size_total: 32768, stride: 256, height: 128, tile_size[0]: 128, img_buf_size[0]: 32768, "
        "ts_sizes[0]: 32}\n",
        "{img_buf_size_total: 49152, stride: 256, height: 64, tile_size[1]: 128, img_buf_size[1]: 16384, "
        "ts_sizes[1]: 16}\n",
        "{img_buf_size_total after extra_mem (0 bytes): 49152}\n",
        "{ts_offsets[0]: 49152, ts_sizes[0]: 32}\n",
        "{ts_offsets[1]: 53248, ts_sizes[1]: 16}\n",
        "{img_buf_size_total: 49152, combined_buf_size: 57344, num_planes: 2, ts_offsets[num_planes - 1]: 53248, "
        "ts_sizes[num_planes - 1]: 16}\n",
    };
    ASSERT_EQ(log.lines().size(), 6u) << log.dump();
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(log.lines()[i].level, VE_LOG_ERROR);
        EXPECT_EQ(log.lines()[i].tag, kDec400Tag);
        EXPECT_EQ(log.lines()[i].text, kPrefix + expected[i]);
    }

    // The same with the flag: tiles of 512 (4 bits) and 256 (2 bits) give
    // the same tile-status bytes per image byte, 1/1024, so the same layout.
    log.clear();
    EXPECT_EQ(nci_dec400_cmprs_calc_buf_size(5, 8, true, 256, 100, 0, offsets, sizes), 57344u);
    EXPECT_EQ(sizes[0], 32u);
    EXPECT_EQ(sizes[1], 16u);
    EXPECT_TRUE(log.contains("tile_size[0]: 512,"));
    EXPECT_TRUE(log.contains("tile_size[1]: 256,"));

    // Null arrays are allowed.
    EXPECT_EQ(nci_dec400_cmprs_calc_buf_size(5, 8, false, 256, 100, 0, nullptr, nullptr), 57344u);
}

TEST(Dec400, BufferSizesOfOtherLayouts)
{
    vorn_test::LogCapture log;
    uint32_t offsets[3], sizes[3];

    // Planar (3): stride 512, height 64. Luma 32768 bytes, 128 tiles of 256
    // at 2 bits = 32. Chroma stride 256, rows 32: 8192 bytes each, 64 tiles of
    // 128 at 1 bit = 8. Images 49152; areas at 49152, align(49184) = 53248,
    // align(53256) = 57344; end align(57352) = 61440.
    EXPECT_EQ(nci_dec400_cmprs_calc_buf_size(3, 8, false, 512, 64, 0, offsets, sizes), 61440u);
    EXPECT_EQ(offsets[0], 49152u);
    EXPECT_EQ(offsets[1], 53248u);
    EXPECT_EQ(offsets[2], 57344u);
    EXPECT_EQ(sizes[0], 32u);
    EXPECT_EQ(sizes[1], 8u);
    EXPECT_EQ(sizes[2], 8u);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kDec400Tag, kPrefix + "{ts_offsets[2]: 57344, ts_sizes[2]: 8\n}")) << log.dump();

    // Bayer (22), depth 10: one plane, rows not aligned. 512 * 100 = 51200
    // bytes, 100 tiles of 512 at 4 bits = 50; area at align(51200) = 53248;
    // end align(53298) = 57344.
    EXPECT_EQ(nci_dec400_cmprs_calc_buf_size(22, 10, false, 512, 100, 0, offsets, sizes), 57344u);
    EXPECT_EQ(offsets[0], 53248u);
    EXPECT_EQ(offsets[1], 0u);
    EXPECT_EQ(sizes[0], 50u);

    // extra_mem joins the image data: 4096 + 1 -> area at 8192 with 8 tiles
    // * 4 bits = 4 bytes; end align(8196) = 12288.
    log.clear();
    EXPECT_EQ(nci_dec400_cmprs_calc_buf_size(22, 8, false, 512, 8, 1, offsets, sizes), 12288u);
    EXPECT_EQ(offsets[0], 8192u);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kDec400Tag, kPrefix + "{img_buf_size_total after extra_mem (1 bytes): 4097}\n"));

    // Every number with stride 256, height 64, depth 8 (worked per layout):
    //   3: luma 16384 (+16), chroma 2 * 4096 (+4 each): areas 24576, 28672,
    //      32768, end 36864.
    //   5, 50, 52: luma 16384 (+16), chroma 8192 (+8): end 32768.
    //   7, 54, 56: tiled, luma +64, chroma +32: end 32768.
    //   20..23: 16384 (+16): end 20480.
    //   others: no tile size, 0.
    for (uint32_t f : allFrameFormats()) {
        uint32_t expected = 0;
        if (f == 3)
            expected = 36864;
        else if (in({5, 7, 50, 52, 54, 56}, f))
            expected = 32768;
        else if (f >= 20 && f <= 23)
            expected = 20480;
        for (int i = 0; i < 3; ++i)
            offsets[i] = sizes[i] = 7;
        EXPECT_EQ(nci_dec400_cmprs_calc_buf_size(f, 8, false, 256, 64, 0, offsets, sizes), expected) << f;
        if (expected == 0) {
            for (int i = 0; i < 3; ++i)
                EXPECT_TRUE(offsets[i] == 0 && sizes[i] == 0) << f;
        }
    }
}

TEST(Dec400, BufferSizesWithoutTileSizeOrBeyond32Bits)
{
    vorn_test::LogCapture log;
    uint32_t offsets[3] = {7, 7, 7}, sizes[3] = {7, 7, 7};
    // Two planes (49) but no tile size: 0, no division.
    EXPECT_EQ(nci_dec400_cmprs_calc_buf_size(49, 10, false, 256, 64, 0, offsets, sizes), 0u);
    EXPECT_EQ(offsets[0] + offsets[1] + offsets[2] + sizes[0] + sizes[1] + sizes[2], 0u);
    EXPECT_TRUE(log.contains("no tile size")) << log.dump();
    // Bayer with depth 14: no tile size either.
    EXPECT_EQ(nci_dec400_cmprs_calc_buf_size(21, 14, false, 256, 64, 0, offsets, sizes), 0u);

    // 2^31 * 1 = 2^31 bytes, 2^22 tiles * 4 bits = 2^21 bytes: area at 2^31,
    // end 2^31 + 2^21 = 2149580800 (already aligned).
    EXPECT_EQ(nci_dec400_cmprs_calc_buf_size(22, 8, false, 0x80000000u, 1, 0, offsets, sizes), 2149580800u);
    EXPECT_EQ(offsets[0], 0x80000000u);
    EXPECT_EQ(sizes[0], 2097152u);
    // 0xFFFFFFFF bytes: the area would start at 2^32. No size.
    log.clear();
    EXPECT_EQ(nci_dec400_cmprs_calc_buf_size(22, 8, false, 0xFFFFFFFFu, 1, 0, offsets, sizes), 0u);
    EXPECT_EQ(offsets[0] + sizes[0], 0u);
    EXPECT_TRUE(log.contains("beyond 32 bits")) << log.dump();
    // extra_mem pushing the data past 32 bits: the same.
    EXPECT_EQ(nci_dec400_cmprs_calc_buf_size(22, 8, false, 4096, 1, 0xFFFFF000u, offsets, sizes), 0u);
    // Rows 0xFFFFFFF0 rounded up to 32 would be 2^32.
    EXPECT_EQ(nci_dec400_cmprs_calc_buf_size(5, 8, false, 1, 0xFFFFFFF0u, 0, offsets, sizes), 0u);
    // An image of 2^32 bytes or more has no size: 65536 * 65537 would wrap to
    // 65536 and give a 69632-byte buffer for a 4 GiB frame.
    log.clear();
    EXPECT_EQ(nci_dec400_cmprs_calc_buf_size(22, 8, false, 65536, 65537, 0, offsets, sizes), 0u);
    EXPECT_EQ(offsets[0] + sizes[0], 0u);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kDec400Tag,
                        kPrefix + "{image of plane 0 (stride 65536, height 65537) does not fit in 32 bits: "
                                  "no buffer size}\n"))
        << log.dump();
    // (2^32 - 1)^2 per plane: no size either (it wrapped to 1 byte per plane).
    EXPECT_EQ(nci_dec400_cmprs_calc_buf_size(3, 8, false, 0xFFFFFFFFu, 0xFFFFFFFFu, 0, offsets, sizes), 0u);
    // The same through the fourcc entry point.
    EXPECT_EQ(dec400util::calcBufferSize(VE_FOURCC_BG8C, 8, false, 65536, 65537, 0, offsets, sizes), 0u);
}

TEST(Dec400, FourccEntryPoints)
{
    uint32_t offsets[3], sizes[3];
    // The semi-planar example by fourcc, then with 4096 bytes extra: images
    // 53248, areas at 53248 and align(53280) = 57344, end align(57360) = 61440.
    EXPECT_EQ(dec400util::calcBufferSize(VE_FOURCC_CN12, 8, false, 256, 100, 0, offsets, sizes), 57344u);
    EXPECT_EQ(dec400util::calcBufferSize(VE_FOURCC_CN12, 8, false, 256, 100, 4096, offsets, sizes), 61440u);
    EXPECT_EQ(offsets[0], 53248u);
    EXPECT_EQ(offsets[1], 57344u);
    // An unknown fourcc is laid out as the tiled format 7, like CILE. Stride
    // 128, height 40 -> 64 rows: 8192 bytes, 32 tiles at 8 bits = 32. Chroma
    // rows 20 -> 32: 4096 bytes, 16. Images 12288; areas at 12288 and
    // align(12320) = 16384; end align(16400) = 20480.
    for (uint32_t fourcc : {0u, VE_FOURCC_CILE}) {
        EXPECT_EQ(dec400util::calcBufferSize(fourcc, 8, false, 128, 40, 0, offsets, sizes), 20480u);
        EXPECT_EQ(offsets[1], 16384u);
        EXPECT_EQ(sizes[0] + sizes[1], 48u);
    }

    EXPECT_EQ(dec400util::numberOfPlanes(VE_FOURCC_NV12), 2u);
    EXPECT_EQ(dec400util::numberOfPlanes(VE_FOURCC_CIYU), 3u);
    EXPECT_EQ(dec400util::numberOfPlanes(VE_FOURCC_BA10), 1u);
    EXPECT_EQ(dec400util::numberOfPlanes(VE_FOURCC_P01L), 2u);  // 49
    EXPECT_EQ(dec400util::numberOfPlanes(VE_FOURCC_y032), 1u);  // 47
    EXPECT_EQ(dec400util::numberOfPlanes(0), 1u);               // unknown -> 0 -> 1
}

TEST(Dec400, CompressedFormatEntryPoint)
{
    // Stride 256, height 64 (results from the per-number sweep above).
    struct Case {
        uint32_t fourcc, depth, expected;
    };
    const Case cases[] = {
        {VE_FOURCC_C420, 16, 36864}, {VE_FOURCC_CIYU, 8, 36864},  {VE_FOURCC_P01Y, 10, 36864},
        {VE_FOURCC_CN12, 8, 32768},  {VE_FOURCC_CT12, 8, 32768},  {VE_FOURCC_CILE, 8, 32768},
        {VE_FOURCC_C010, 10, 32768}, {VE_FOURCC_C012, 12, 32768}, {VE_FOURCC_PC10, 10, 32768},
        {VE_FOURCC_PC12, 12, 32768}, {VE_FOURCC_BG1C, 10, 20480}, {VE_FOURCC_BG8C, 8, 20480},
        {VE_FOURCC_GB1C, 10, 20480}, {VE_FOURCC_GB8C, 8, 20480},  {VE_FOURCC_GR1C, 10, 20480},
        {VE_FOURCC_GR8C, 8, 20480},  {VE_FOURCC_RG1C, 10, 20480}, {VE_FOURCC_RG8C, 8, 20480},
    };
    for (const Case &c : cases) {
        uint32_t offsets[3] = {7, 7, 7}, sizes[3] = {7, 7, 7};
        // The width plays no part (this one would have no stride).
        EXPECT_EQ(VornFormats::calculateDec400BufferSize(c.fourcc, 0xFFFFFFFFu, 64, 256, c.depth, offsets, sizes),
                  c.expected)
            << c.fourcc;
        EXPECT_NE(offsets[0], 7u);
        EXPECT_NE(sizes[0], 7u);
    }

    // Only CT12 sets the flag.
    vorn_test::LogCapture log;
    VornFormats::calculateDec400BufferSize(VE_FOURCC_CT12, 0, 64, 256, 8, nullptr, nullptr);
    EXPECT_TRUE(log.contains("tile_size[0]: 512,")) << log.dump();

    // Not a supported compressed format (P21Y is compressed in the table but
    // has no layout here): warning, 0, zeroed outputs.
    for (uint32_t fourcc : {VE_FOURCC_NV12, VE_FOURCC_P21Y}) {
        log.clear();
        uint32_t offsets[3] = {7, 7, 7}, sizes[3] = {7, 7, 7};
        EXPECT_EQ(VornFormats::calculateDec400BufferSize(fourcc, 640, 480, 640, 8, offsets, sizes), 0u);
        for (int i = 0; i < 3; ++i)
            EXPECT_TRUE(offsets[i] == 0 && sizes[i] == 0);
        EXPECT_EQ(log.lines().size(), 1u);
    }
    EXPECT_TRUE(log.has(VE_LOG_WARNING, "VornFormats[XOS]",
                        "Unsupported compressed format 0x50323159, not calculating buffer size."))  // "P21Y"
        << log.dump();
}
