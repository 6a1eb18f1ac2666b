// The format table: the built-in entries and the lookups over the working
// table.
#include <vorn/formats.h>

#include <ve_cipr/ve_log_common.h>

#include "formats_internal.h"
#include "library_init.h"

namespace VornFormats {

// Both tables exist before the library's start-up sequence runs: the
// built-in one is filled by Vorn::detail::initFormatTable(), the working one
// by the first initVornFormats().
__attribute__((init_priority(101))) std::vector<ve_format_t> gVornFormatsInternal;
__attribute__((init_priority(101))) std::vector<ve_format_t> gVornFormats;

namespace {

struct BuiltinPlane {
    const char *name;
    uint32_t bpp;
};

struct BuiltinFormat {
    const char *name;
    uint32_t fourcc;
    const char *type;
    uint32_t bpp;
    uint32_t depth;
    uint32_t storageBits;
    uint32_t packing;
    bool compressed;
    BuiltinPlane planes[3];  // unused planes have no name
};

// In table order. Irregular-looking values are intended: SRGB48 has depth
// 15, the *_12_LI formats depth and storage 10, YUV420_10_P64 15 bpp.
constexpr BuiltinFormat kBuiltinFormats[] = {
    {"SRGB48", VE_FOURCC_SR48, "sRGB", 48, 15, 48, 0, false, {}},
    {"BGGR_8", VE_FOURCC_BGGR, "BAYER", 8, 8, 8, 0, false, {}},
    {"GBRG_8", VE_FOURCC_GBRG, "BAYER", 8, 8, 8, 0, false, {}},
    {"GRBG_8", VE_FOURCC_GRBG, "BAYER", 8, 8, 8, 0, false, {}},
    {"RGGB_8", VE_FOURCC_RGGB, "BAYER", 8, 8, 8, 0, false, {}},
    {"BA10", VE_FOURCC_BA10, "BAYER", 16, 10, 16, 0, false, {}},
    {"BGGR_10", VE_FOURCC_BG10, "BAYER", 16, 10, 16, 0, false, {}},
    {"GBRG_10", VE_FOURCC_GB10, "BAYER", 16, 10, 16, 0, false, {}},
    {"GRBG_10", VE_FOURCC_GR10, "BAYER", 16, 10, 16, 0, false, {}},
    {"RGGB_10", VE_FOURCC_RG10, "BAYER", 16, 10, 16, 0, false, {}},
    {"BGGR_10_P", VE_FOURCC_pBAA, "BAYER", 10, 10, 10, 0, false, {}},
    {"GBRG_10_P", VE_FOURCC_pGAA, "BAYER", 10, 10, 10, 0, false, {}},
    {"GRBG_10_P", VE_FOURCC_pgAA, "BAYER", 10, 10, 10, 0, false, {}},
    {"RGGB_10_P", VE_FOURCC_pRAA, "BAYER", 10, 10, 10, 0, false, {}},
    {"GRBG_10_V", VE_FOURCC_bV0G, "BAYER", 16, 10, 16, 32, false, {}},
    {"GRBG_12_V", VE_FOURCC_bV0K, "BAYER", 16, 12, 16, 32, false, {}},
    {"BGGR_10_LI", VE_FOURCC_CSL0, "BAYER", 10, 10, 10, 1, false, {}},
    {"GBRG_10_LI", VE_FOURCC_CSL1, "BAYER", 10, 10, 10, 1, false, {}},
    {"GRBG_10_LI", VE_FOURCC_CSL2, "BAYER", 10, 10, 10, 1, false, {}},
    {"RGGB_10_LI", VE_FOURCC_CSL3, "BAYER", 10, 10, 10, 1, false, {}},
    {"BGGR_12_LI", VE_FOURCC_CSL4, "BAYER", 12, 10, 10, 1, false, {}},
    {"GBRG_12_LI", VE_FOURCC_CSL5, "BAYER", 12, 10, 10, 1, false, {}},
    {"GRBG_12_LI", VE_FOURCC_CSL6, "BAYER", 12, 10, 10, 1, false, {}},
    {"RGGB_12_LI", VE_FOURCC_CSL7, "BAYER", 12, 10, 10, 1, false, {}},
    {"BGGR_8_C", VE_FOURCC_BG8C, "BAYER", 8, 8, 8, 0, true, {}},
    {"GBRG_8_C", VE_FOURCC_GB8C, "BAYER", 8, 8, 8, 0, true, {}},
    {"GRBG_8_C", VE_FOURCC_GR8C, "BAYER", 8, 8, 8, 0, true, {}},
    {"RGGB_8_C", VE_FOURCC_RG8C, "BAYER", 8, 8, 8, 0, true, {}},
    {"BGGR_10_C", VE_FOURCC_BG1C, "BAYER", 16, 10, 16, 0, true, {}},
    {"GBRG_10_C", VE_FOURCC_GB1C, "BAYER", 16, 10, 16, 0, true, {}},
    {"GRBG_10_C", VE_FOURCC_GR1C, "BAYER", 16, 10, 16, 0, true, {}},
    {"RGGB_10_C", VE_FOURCC_RG1C, "BAYER", 16, 10, 16, 0, true, {}},
    {"UYVY", VE_FOURCC_UYVY, "YUV", 16, 8, 8, 0, false, {}},
    {"YUV422_8_P64", VE_FOURCC_YUY2, "YUV", 16, 8, 8, 0, false, {}},
    {"YUV420_10_P64", VE_FOURCC_CS40, "YUV", 15, 10, 10, 0, false, {}},
    {"YUV420_12_P64", VE_FOURCC_CS42, "YUV", 18, 12, 12, 0, false, {}},
    {"YUV420_10_V", VE_FOURCC_y032, "YUV", 24, 10, 16, 1, false, {}},
    {"YUV420_10_PL", VE_FOURCC_V420, "YUV", 24, 10, 16, 0, false, {{"Y", 16}, {"U", 16}, {"V", 16}}},
    {"YUV420_12_PL", VE_FOURCC_P412, "YUV", 24, 12, 16, 0, false, {{"Y", 12}, {"U", 12}, {"V", 12}}},
    {"YUV420_16_PL", VE_FOURCC_S420, "YUV", 24, 16, 16, 0, false, {{"Y", 16}, {"U", 16}, {"V", 16}}},
    {"YUV420_16_PL_C", VE_FOURCC_C420, "YUV", 24, 16, 16, 0, true, {{"Y", 16}, {"U", 16}, {"V", 16}}},
    {"YUV420_8_PL", VE_FOURCC_IYUV, "YUV", 12, 8, 8, 0, false, {{"Y", 8}, {"U", 8}, {"V", 8}}},
    {"YUV420_8_PL_C", VE_FOURCC_CIYU, "YUV", 12, 8, 8, 0, true, {{"Y", 8}, {"U", 8}, {"V", 8}}},
    {"YUV420_10_PL_C", VE_FOURCC_P01Y, "YUV", 24, 10, 16, 0, true, {{"Y", 10}, {"U", 10}, {"V", 10}}},
    {"YUV420_12_PL_C", VE_FOURCC_P21Y, "YUV", 24, 12, 16, 0, true, {{"Y", 12}, {"U", 12}, {"V", 12}}},
    {"YUV420_8_PL_REV", VE_FOURCC_YV12, "YUV", 12, 8, 8, 0, false, {{"Y", 8}, {"V", 8}, {"U", 8}}},
    {"YUV444_8_PL", VE_FOURCC_NANA, "YUV", 24, 8, 8, 0, false, {{"Y", 8}, {"U", 8}, {"V", 8}}},
    {"YUV420_8_SP_LINE", VE_FOURCC_M420, "YUV", 12, 8, 8, 0, false, {{"Y", 8}, {"UV", 8}}},
    {"YUV420_8_SP", VE_FOURCC_NV12, "YUV", 12, 8, 8, 0, false, {{"Y", 8}, {"UV", 8}}},
    {"YUV420_8_SP_C_TNR", VE_FOURCC_CT12, "YUV", 12, 8, 8, 0, true, {{"Y", 8}, {"UV", 8}}},
    {"YUV420_8_SP_C", VE_FOURCC_CN12, "YUV", 12, 8, 8, 0, true, {{"Y", 8}, {"UV", 8}}},
    {"YUV420_8_SP_REV", VE_FOURCC_NV21, "YUV", 12, 8, 8, 0, false, {{"Y", 8}, {"VU", 8}}},
    {"YUV422_8_SP", VE_FOURCC_NV16, "YUV", 16, 8, 8, 0, false, {{"Y", 8}, {"UV", 8}}},
    {"TileYUV420_8_SP", VE_FOURCC_TILE, "YUV", 12, 8, 8, 0, false, {{"Y", 8}, {"UV", 8}}},
    {"TileYUV420_8_SP_C", VE_FOURCC_CILE, "YUV", 12, 8, 8, 0, true, {{"Y", 8}, {"UV", 8}}},
    {"YUV420_10_SP", VE_FOURCC_P010, "YUV", 24, 10, 16, 0, false, {{"Y", 10}, {"UV", 10}}},
    {"YUV420_10_SP_C", VE_FOURCC_PC10, "YUV", 24, 10, 16, 0, true, {{"Y", 10}, {"UV", 10}}},
    {"YUV420_10_SP_LSB", VE_FOURCC_P01L, "YUV", 24, 10, 16, 0, false, {{"Y", 10}, {"UV", 10}}},
    {"YUV420_12_SP", VE_FOURCC_P012, "YUV", 24, 12, 16, 0, false, {{"Y", 12}, {"UV", 12}}},
    {"YUV420_12_SP_C", VE_FOURCC_PC12, "YUV", 24, 12, 16, 0, true, {{"Y", 12}, {"UV", 12}}},
    {"YUV420_12_SP_LSB", VE_FOURCC_PL12, "YUV", 24, 12, 16, 0, false, {{"Y", 12}, {"UV", 12}}},
    {"TileYUV420_10_SP", VE_FOURCC_T010, "YUV", 24, 10, 16, 0, false, {{"Y", 10}, {"UV", 10}}},
    {"TileYUV420_10_SP_LSB", VE_FOURCC_T01L, "YUV", 24, 10, 16, 0, false, {{"Y", 10}, {"UV", 10}}},
    {"TileYUV420_12_SP_C", VE_FOURCC_C012, "YUV", 24, 12, 16, 0, true, {{"Y", 12}, {"UV", 12}}},
    {"TileYUV420_12_SP", VE_FOURCC_T012, "YUV", 24, 12, 16, 0, false, {{"Y", 12}, {"UV", 12}}},
    {"TileYUV420_12_SP_LSB", VE_FOURCC_TL12, "YUV", 24, 12, 16, 0, false, {{"Y", 12}, {"UV", 12}}},
    {"TileYUV420_10_SP_C", VE_FOURCC_C010, "YUV", 24, 10, 16, 0, true, {{"Y", 10}, {"UV", 10}}},
    {"YUV420_16_SP", VE_FOURCC_P016, "YUV", 24, 16, 16, 0, false, {{"Y", 16}, {"UV", 16}}},
    {"PAFn", VE_FOURCC_PAFn, "BAYER", 16, 16, 16, 0, false, {}},
    {"PAFi", VE_FOURCC_PAFi, "BAYER", 16, 16, 16, 0, false, {}},
    {"PDAF_08i", VE_FOURCC_PF8i, "BAYER", 8, 8, 8, 0, false, {}},
    {"PDAF_10i", VE_FOURCC_PF1i, "BAYER", 16, 10, 16, 0, false, {}},
    {"PDAF_12i", VE_FOURCC_PF2i, "BAYER", 16, 12, 16, 0, false, {}},
    {"PDAF_14i", VE_FOURCC_PF4i, "BAYER", 16, 14, 16, 0, false, {}},
    {"PDAF_16i", VE_FOURCC_PF6i, "BAYER", 16, 16, 16, 0, false, {}},
    {"PDAF_8n", VE_FOURCC_PF8n, "BAYER", 8, 8, 8, 0, false, {}},
    {"PDAF_10n", VE_FOURCC_PF1n, "BAYER", 16, 10, 16, 0, false, {}},
    {"PDAF_12n", VE_FOURCC_PF2n, "BAYER", 16, 12, 16, 0, false, {}},
    {"PDAF_14n", VE_FOURCC_PF4n, "BAYER", 16, 14, 16, 0, false, {}},
    {"PDAF_16n", VE_FOURCC_PF6n, "BAYER", 16, 16, 16, 0, false, {}},
    {"YUV420_8_INTERNAL", VE_FOURCC_CSYI, "YUV", 12, 8, 8, 0, false, {{"Y", 8}, {"U", 8}, {"V", 8}}},
    {"IR", VE_FOURCC_IR16, "IR", 16, 16, 16, 0, false, {}},
    {"Y_8", VE_FOURCC_Y008, "YUV", 8, 8, 8, 0, false, {}},
    {"REC_SIM", VE_FOURCC_RESI, "META", 8, 8, 8, 0, false, {}},
    {"MOT_VEC", VE_FOURCC_MOVE, "META", 32, 32, 32, 0, false, {}},
};

constexpr size_t kBuiltinFormatCount = sizeof(kBuiltinFormats) / sizeof(kBuiltinFormats[0]);
static_assert(kBuiltinFormatCount == 85, "the built-in table has 85 formats");

ve_format_t makeEntry(const BuiltinFormat &builtin)
{
    ve_format_t entry;
    entry.name = builtin.name;
    entry.fourcc = builtin.fourcc;
    entry.type = builtin.type;
    entry.bpp = builtin.bpp;
    entry.depth = builtin.depth;
    entry.storageBits = builtin.storageBits;
    entry.packing = builtin.packing;
    entry.enabled = true;
    entry.compressed = builtin.compressed;
    for (const BuiltinPlane &plane : builtin.planes)
        if (plane.name != nullptr)
            entry.planes.push_back({plane.name, plane.bpp});
    entry.id = 0;
    return entry;
}

ve_format_t *findByName(const std::string &name)
{
    for (ve_format_t &entry : gVornFormats)
        if (entry.name == name)
            return &entry;
    return nullptr;
}

const ve_format_t *findByFourcc(uint32_t fourcc)
{
    for (const ve_format_t &entry : gVornFormats)
        if (entry.fourcc == fourcc)
            return &entry;
    return nullptr;
}

}  // namespace

void initVornFormats()
{
    if (gVornFormats.empty())
        gVornFormats = gVornFormatsInternal;
}

Vorn::status_t getFormatByName(const std::string &name, ve_format_t &out)
{
    const ve_format_t *entry = findByName(name);
    if (entry == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, VORN_FORMATS_TAG, "Could not find format with name %s", name.c_str());
        return err_data;
    }
    if (&out != entry)
        out = *entry;
    return err_none;
}

Vorn::status_t getFormatByFourcc(uint32_t fourcc, ve_format_t &out)
{
    const ve_format_t *entry = findByFourcc(fourcc);
    if (entry == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, VORN_FORMATS_TAG, "Could not find format with fourcc %d",
                            detail::asSigned(fourcc));
        return err_data;
    }
    if (&out != entry)
        out = *entry;
    return err_none;
}

Vorn::status_t setFormatId(const std::string &name, uint32_t id)
{
    ve_format_t *entry = findByName(name);
    if (entry == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, VORN_FORMATS_TAG, "Failed to set format id for %s", name.c_str());
        return err_argument;
    }
    entry->id = id;
    return err_none;
}

uint32_t getPlaneCountByFourcc(uint32_t fourcc)
{
    const ve_format_t *entry = findByFourcc(fourcc);
    if (entry == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, VORN_FORMATS_TAG, "Format not found %d", detail::asSigned(fourcc));
        return 0xFFFFFFFFu;
    }
    return static_cast<uint32_t>(entry->planes.size());
}

bool isCompressedFormat(const std::string &name)
{
    initVornFormats();
    ve_format_t entry;
    if (getFormatByName(name, entry) != err_none)
        return false;
    return entry.compressed;
}

}  // namespace VornFormats

bool isCompressedFormat(uint32_t fourcc)
{
    VornFormats::initVornFormats();
    VornFormats::ve_format_t entry;
    if (VornFormats::getFormatByFourcc(fourcc, entry) != err_none)
        return false;
    return entry.compressed;
}

bool ve_cipf_is_compressed_format(uint32_t fourcc) { return isCompressedFormat(fourcc); }

namespace Vorn {
namespace detail {

void initFormatTable()
{
    std::vector<VornFormats::ve_format_t> table;
    table.reserve(VornFormats::kBuiltinFormatCount);
    for (const VornFormats::BuiltinFormat &builtin : VornFormats::kBuiltinFormats)
        table.push_back(VornFormats::makeEntry(builtin));
    VornFormats::gVornFormatsInternal.swap(table);
}

}  // namespace detail
}  // namespace Vorn
