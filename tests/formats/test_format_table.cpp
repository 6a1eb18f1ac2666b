// The built-in format table and its lookups.
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <log_capture.h>
#include <ve_cipr/ve_log_common.h>
#include <vorn/formats.h>

using namespace VornFormats;

namespace {

const char *const kTag = "VornFormats[XOS]";

// The table exactly as the format documentation lists it:
// | # | name | fourcc | type | bpp | depth | storageBits | packing | compressed | planes |
const char kTextTable[] = R"(
| 0 | SRGB48 | SR48 | sRGB | 48 | 15 | 48 | 0 | no | - |
| 1 | BGGR_8 | BGGR | BAYER | 8 | 8 | 8 | 0 | no | - |
| 2 | GBRG_8 | GBRG | BAYER | 8 | 8 | 8 | 0 | no | - |
| 3 | GRBG_8 | GRBG | BAYER | 8 | 8 | 8 | 0 | no | - |
| 4 | RGGB_8 | RGGB | BAYER | 8 | 8 | 8 | 0 | no | - |
| 5 | BA10 | BA10 | BAYER | 16 | 10 | 16 | 0 | no | - |
| 6 | BGGR_10 | BG10 | BAYER | 16 | 10 | 16 | 0 | no | - |
| 7 | GBRG_10 | GB10 | BAYER | 16 | 10 | 16 | 0 | no | - |
| 8 | GRBG_10 | GR10 | BAYER | 16 | 10 | 16 | 0 | no | - |
| 9 | RGGB_10 | RG10 | BAYER | 16 | 10 | 16 | 0 | no | - |
| 10 | BGGR_10_P | pBAA | BAYER | 10 | 10 | 10 | 0 | no | - |
| 11 | GBRG_10_P | pGAA | BAYER | 10 | 10 | 10 | 0 | no | - |
| 12 | GRBG_10_P | pgAA | BAYER | 10 | 10 | 10 | 0 | no | - |
| 13 | RGGB_10_P | pRAA | BAYER | 10 | 10 | 10 | 0 | no | - |
| 14 | GRBG_10_V | bV0G | BAYER | 16 | 10 | 16 | 32 | no | - |
| 15 | GRBG_12_V | bV0K | BAYER | 16 | 12 | 16 | 32 | no | - |
| 16 | BGGR_10_LI | CSL0 | BAYER | 10 | 10 | 10 | 1 | no | - |
| 17 | GBRG_10_LI | CSL1 | BAYER | 10 | 10 | 10 | 1 | no | - |
| 18 | GRBG_10_LI | CSL2 | BAYER | 10 | 10 | 10 | 1 | no | - |
| 19 | RGGB_10_LI | CSL3 | BAYER | 10 | 10 | 10 | 1 | no | - |
| 20 | BGGR_12_LI | CSL4 | BAYER | 12 | 10 | 10 | 1 | no | - |
| 21 | GBRG_12_LI | CSL5 | BAYER | 12 | 10 | 10 | 1 | no | - |
| 22 | GRBG_12_LI | CSL6 | BAYER | 12 | 10 | 10 | 1 | no | - |
| 23 | RGGB_12_LI | CSL7 | BAYER | 12 | 10 | 10 | 1 | no | - |
| 24 | BGGR_8_C | BG8C | BAYER | 8 | 8 | 8 | 0 | yes | - |
| 25 | GBRG_8_C | GB8C | BAYER | 8 | 8 | 8 | 0 | yes | - |
| 26 | GRBG_8_C | GR8C | BAYER | 8 | 8 | 8 | 0 | yes | - |
| 27 | RGGB_8_C | RG8C | BAYER | 8 | 8 | 8 | 0 | yes | - |
| 28 | BGGR_10_C | BG1C | BAYER | 16 | 10 | 16 | 0 | yes | - |
| 29 | GBRG_10_C | GB1C | BAYER | 16 | 10 | 16 | 0 | yes | - |
| 30 | GRBG_10_C | GR1C | BAYER | 16 | 10 | 16 | 0 | yes | - |
| 31 | RGGB_10_C | RG1C | BAYER | 16 | 10 | 16 | 0 | yes | - |
| 32 | UYVY | UYVY | YUV | 16 | 8 | 8 | 0 | no | - |
| 33 | YUV422_8_P64 | YUY2 | YUV | 16 | 8 | 8 | 0 | no | - |
| 34 | YUV420_10_P64 | CS40 | YUV | 15 | 10 | 10 | 0 | no | - |
| 35 | YUV420_12_P64 | CS42 | YUV | 18 | 12 | 12 | 0 | no | - |
| 36 | YUV420_10_V | y032 | YUV | 24 | 10 | 16 | 1 | no | - |
| 37 | YUV420_10_PL | V420 | YUV | 24 | 10 | 16 | 0 | no | Y:16 U:16 V:16 |
| 38 | YUV420_12_PL | P412 | YUV | 24 | 12 | 16 | 0 | no | Y:12 U:12 V:12 |
| 39 | YUV420_16_PL | S420 | YUV | 24 | 16 | 16 | 0 | no | Y:16 U:16 V:16 |
| 40 | YUV420_16_PL_C | C420 | YUV | 24 | 16 | 16 | 0 | yes | Y:16 U:16 V:16 |
| 41 | YUV420_8_PL | IYUV | YUV | 12 | 8 | 8 | 0 | no | Y:8 U:8 V:8 |
| 42 | YUV420_8_PL_C | CIYU | YUV | 12 | 8 | 8 | 0 | yes | Y:8 U:8 V:8 |
| 43 | YUV420_10_PL_C | P01Y | YUV | 24 | 10 | 16 | 0 | yes | Y:10 U:10 V:10 |
| 44 | YUV420_12_PL_C | P21Y | YUV | 24 | 12 | 16 | 0 | yes | Y:12 U:12 V:12 |
| 45 | YUV420_8_PL_REV | YV12 | YUV | 12 | 8 | 8 | 0 | no | Y:8 V:8 U:8 |
| 46 | YUV444_8_PL | NANA | YUV | 24 | 8 | 8 | 0 | no | Y:8 U:8 V:8 |
| 47 | YUV420_8_SP_LINE | M420 | YUV | 12 | 8 | 8 | 0 | no | Y:8 UV:8 |
| 48 | YUV420_8_SP | NV12 | YUV | 12 | 8 | 8 | 0 | no | Y:8 UV:8 |
| 49 | YUV420_8_SP_C_TNR | CT12 | YUV | 12 | 8 | 8 | 0 | yes | Y:8 UV:8 |
| 50 | YUV420_8_SP_C | CN12 | YUV | 12 | 8 | 8 | 0 | yes | Y:8 UV:8 |
| 51 | YUV420_8_SP_REV | NV21 | YUV | 12 | 8 | 8 | 0 | no | Y:8 VU:8 |
| 52 | YUV422_8_SP | NV16 | YUV | 16 | 8 | 8 | 0 | no | Y:8 UV:8 |
| 53 | TileYUV420_8_SP | TILE | YUV | 12 | 8 | 8 | 0 | no | Y:8 UV:8 |
| 54 | TileYUV420_8_SP_C | CILE | YUV | 12 | 8 | 8 | 0 | yes | Y:8 UV:8 |
| 55 | YUV420_10_SP | P010 | YUV | 24 | 10 | 16 | 0 | no | Y:10 UV:10 |
| 56 | YUV420_10_SP_C | PC10 | YUV | 24 | 10 | 16 | 0 | yes | Y:10 UV:10 |
| 57 | YUV420_10_SP_LSB | P01L | YUV | 24 | 10 | 16 | 0 | no | Y:10 UV:10 |
| 58 | YUV420_12_SP | P012 | YUV | 24 | 12 | 16 | 0 | no | Y:12 UV:12 |
| 59 | YUV420_12_SP_C | PC12 | YUV | 24 | 12 | 16 | 0 | yes | Y:12 UV:12 |
| 60 | YUV420_12_SP_LSB | PL12 | YUV | 24 | 12 | 16 | 0 | no | Y:12 UV:12 |
| 61 | TileYUV420_10_SP | T010 | YUV | 24 | 10 | 16 | 0 | no | Y:10 UV:10 |
| 62 | TileYUV420_10_SP_LSB | T01L | YUV | 24 | 10 | 16 | 0 | no | Y:10 UV:10 |
| 63 | TileYUV420_12_SP_C | C012 | YUV | 24 | 12 | 16 | 0 | yes | Y:12 UV:12 |
| 64 | TileYUV420_12_SP | T012 | YUV | 24 | 12 | 16 | 0 | no | Y:12 UV:12 |
| 65 | TileYUV420_12_SP_LSB | TL12 | YUV | 24 | 12 | 16 | 0 | no | Y:12 UV:12 |
| 66 | TileYUV420_10_SP_C | C010 | YUV | 24 | 10 | 16 | 0 | yes | Y:10 UV:10 |
| 67 | YUV420_16_SP | P016 | YUV | 24 | 16 | 16 | 0 | no | Y:16 UV:16 |
| 68 | PAFn | PAFn | BAYER | 16 | 16 | 16 | 0 | no | - |
| 69 | PAFi | PAFi | BAYER | 16 | 16 | 16 | 0 | no | - |
| 70 | PDAF_08i | PF8i | BAYER | 8 | 8 | 8 | 0 | no | - |
| 71 | PDAF_10i | PF1i | BAYER | 16 | 10 | 16 | 0 | no | - |
| 72 | PDAF_12i | PF2i | BAYER | 16 | 12 | 16 | 0 | no | - |
| 73 | PDAF_14i | PF4i | BAYER | 16 | 14 | 16 | 0 | no | - |
| 74 | PDAF_16i | PF6i | BAYER | 16 | 16 | 16 | 0 | no | - |
| 75 | PDAF_8n | PF8n | BAYER | 8 | 8 | 8 | 0 | no | - |
| 76 | PDAF_10n | PF1n | BAYER | 16 | 10 | 16 | 0 | no | - |
| 77 | PDAF_12n | PF2n | BAYER | 16 | 12 | 16 | 0 | no | - |
| 78 | PDAF_14n | PF4n | BAYER | 16 | 14 | 16 | 0 | no | - |
| 79 | PDAF_16n | PF6n | BAYER | 16 | 16 | 16 | 0 | no | - |
| 80 | YUV420_8_INTERNAL | CSYI | YUV | 12 | 8 | 8 | 0 | no | Y:8 U:8 V:8 |
| 81 | IR | IR16 | IR | 16 | 16 | 16 | 0 | no | - |
| 82 | Y_8 | Y008 | YUV | 8 | 8 | 8 | 0 | no | - |
| 83 | REC_SIM | RESI | META | 8 | 8 | 8 | 0 | no | - |
| 84 | MOT_VEC | MOVE | META | 32 | 32 | 32 | 0 | no | - |
)";

struct Row {
    std::string name, fourcc, type;
    uint32_t bpp, depth, storageBits, packing;
    bool compressed;
    std::vector<std::pair<std::string, uint32_t>> planes;
};

uint32_t fourccOf(const std::string &text)
{
    return (uint32_t(uint8_t(text[0])) << 24) | (uint32_t(uint8_t(text[1])) << 16) | (uint32_t(uint8_t(text[2])) << 8) |
           uint32_t(uint8_t(text[3]));
}

std::vector<Row> parseTable()
{
    std::vector<Row> rows;
    std::istringstream lines(kTextTable);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty())
            continue;
        for (char &c : line)
            c = c == '|' ? ' ' : c;
        std::istringstream cells(line);
        size_t index = 0;
        std::string compressed, plane;
        Row row{};
        cells >> index >> row.name >> row.fourcc >> row.type >> row.bpp >> row.depth >> row.storageBits >>
            row.packing >> compressed;
        EXPECT_EQ(index, rows.size()) << line;
        row.compressed = compressed == "yes";
        while (cells >> plane && plane != "-") {
            const size_t colon = plane.find(':');
            row.planes.emplace_back(plane.substr(0, colon), uint32_t(std::stoul(plane.substr(colon + 1))));
        }
        rows.push_back(row);
    }
    return rows;
}

class FormatTable : public ::testing::Test {
protected:
    void SetUp() override { initVornFormats(); }
};

}  // namespace

// Runs in a fresh process (threadsafe death-test style), where nothing has
// filled the working table yet.
TEST(FormatTableBeforeInit, LookupsFindNothingUntilInitialised)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            vorn_test::LogCapture log;
            ve_format_t out;
            out.name = "untouched";
            int failures = 0;
            failures += getFormatByName("YUV420_8_SP", out) != err_data;
            failures += getFormatByFourcc(VE_FOURCC_NV12, out) != err_data;
            failures += out.name != "untouched";
            failures += setFormatId("YUV420_8_SP", 3) != err_argument;
            failures += getPlaneCountByFourcc(VE_FOURCC_NV12) != 0xFFFFFFFFu;
            failures += !log.has(VE_LOG_ERROR, kTag, "Could not find format with name YUV420_8_SP");
            // "NV12" = 0x4E563132 = 1314271538
            failures += !log.has(VE_LOG_ERROR, kTag, "Could not find format with fourcc 1314271538");
            // The compressed-flag queries bring the table up themselves.
            failures += !isCompressedFormat(std::string("YUV420_8_SP_C"));
            failures += getFormatByName("YUV420_8_SP", out) != err_none;
            std::exit(failures);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(FormatTable, EveryBuiltinEntryMatchesTheDocumentedTable)
{
    // The code reading: first character in the most significant byte.
    EXPECT_EQ(VE_FOURCC_NV12, 0x4E563132u);
    EXPECT_EQ(VE_FOURCC_BA10, 0x42413130u);

    const std::vector<Row> rows = parseTable();
    ASSERT_EQ(rows.size(), 85u);
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        ve_format_t entry;
        ASSERT_EQ(getFormatByName(row.name, entry), err_none);
        EXPECT_EQ(entry.name, row.name);
        EXPECT_EQ(entry.fourcc, fourccOf(row.fourcc));
        EXPECT_EQ(entry.type, row.type);
        EXPECT_EQ(entry.bpp, row.bpp);
        EXPECT_EQ(entry.depth, row.depth);
        EXPECT_EQ(entry.storageBits, row.storageBits);
        EXPECT_EQ(entry.packing, row.packing);
        EXPECT_TRUE(entry.enabled);
        EXPECT_EQ(entry.compressed, row.compressed);
        EXPECT_EQ(entry.id, 0u);
        ASSERT_EQ(entry.planes.size(), row.planes.size());
        for (size_t i = 0; i < row.planes.size(); ++i) {
            EXPECT_EQ(entry.planes[i].name, row.planes[i].first);
            EXPECT_EQ(entry.planes[i].bpp, row.planes[i].second);
        }

        // Every fourcc is unique, so the fourcc leads back to this entry.
        ve_format_t byFourcc;
        ASSERT_EQ(getFormatByFourcc(entry.fourcc, byFourcc), err_none);
        EXPECT_EQ(byFourcc.name, row.name);
        EXPECT_EQ(getPlaneCountByFourcc(entry.fourcc), row.planes.size());
        EXPECT_EQ(isCompressedFormat(row.name), row.compressed);
        EXPECT_EQ(isCompressedFormat(entry.fourcc), row.compressed);
        EXPECT_EQ(ve_cipf_is_compressed_format(entry.fourcc), row.compressed);
    }
}

TEST_F(FormatTable, LookupsAreExactAndFailWithoutTouchingTheOutput)
{
    ve_format_t out;
    ASSERT_EQ(getFormatByFourcc(VE_FOURCC_BA10, out), err_none);
    EXPECT_EQ(out.name, "BA10");  // not "BGGR_10", whose code is BG10
    EXPECT_EQ(getPlaneCountByFourcc(VE_FOURCC_NV12), 2u);
    EXPECT_EQ(getPlaneCountByFourcc(VE_FOURCC_IYUV), 3u);
    EXPECT_EQ(getPlaneCountByFourcc(VE_FOURCC_BA10), 0u);

    vorn_test::LogCapture log;
    out.name = "untouched";
    out.fourcc = 7;
    EXPECT_EQ(getFormatByName("yuv420_8_sp", out), err_data);
    EXPECT_EQ(getFormatByName("", out), err_data);
    EXPECT_EQ(getFormatByFourcc(0xFFFFFFFFu, out), err_data);
    EXPECT_EQ(getFormatByFourcc(0x12345678u, out), err_data);
    EXPECT_EQ(out.name, "untouched");
    EXPECT_EQ(out.fourcc, 7u);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Could not find format with name yuv420_8_sp")) << log.dump();
    // Codes print as signed decimals: 0xFFFFFFFF is -1, 0x12345678 is 305419896.
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Could not find format with fourcc -1"));
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Could not find format with fourcc 305419896"));

    log.clear();
    EXPECT_EQ(getPlaneCountByFourcc(0x80000000u), 0xFFFFFFFFu);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Format not found -2147483648")) << log.dump();
    EXPECT_EQ(setFormatId("NO_SUCH_FORMAT", 1), err_argument);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Failed to set format id for NO_SUCH_FORMAT"));
    EXPECT_FALSE(isCompressedFormat(std::string("NO_SUCH_FORMAT")));
    EXPECT_FALSE(isCompressedFormat(0x12345678u));
    EXPECT_FALSE(isCompressedFormat(std::string("yuv420_8_sp_c")));
}

TEST_F(FormatTable, IdsPersistAndRepeatedInitialisationKeepsThem)
{
    ASSERT_EQ(setFormatId("YUV420_8_SP", 42), err_none);
    initVornFormats();  // the table is already filled: nothing happens
    ve_format_t out;
    ASSERT_EQ(getFormatByName("YUV420_8_SP", out), err_none);
    EXPECT_EQ(out.id, 42u);
    ASSERT_EQ(getFormatByFourcc(VE_FOURCC_NV12, out), err_none);
    EXPECT_EQ(out.id, 42u);
    ASSERT_EQ(getFormatByName("YUV420_8_SP_REV", out), err_none);
    EXPECT_EQ(out.id, 0u);
    ASSERT_EQ(setFormatId("YUV420_8_SP", 0), err_none);
}
