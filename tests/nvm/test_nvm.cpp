// Tests of libvenvm. Blobs are built from a Model by build(); parse() hands the
// library an exact-size heap copy so that any read past the end is caught by
// AddressSanitizer.
#include <venvm/ve_nvm.h>

#include "ve_nvm_crc.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using U16s = std::vector<uint16_t>;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

const std::string kErr = "VE NVM: ERROR: NVM: ";

struct Lsc {
    uint8_t depth;
    std::array<U16s, 4> ch;
};

// Field values of a blob; counts follow from the vector sizes.
struct Model {
    uint8_t version = 1, revision = 1, aux = 0x5A, vmc = 10;
    std::array<U16s, 4> af;
    Bytes info0, info1;
    uint8_t lsc_w = 0, lsc_h = 0;
    std::vector<Lsc> lsc;
    std::array<U16s, 4> awb;
    uint8_t pdaf_present = 0, grid_w = 0, grid_h = 0, pdaf_aux = 0;
    std::vector<std::array<U16s, 2>> tables;
    uint8_t dlom_w = 0, dlom_h = 0, dlom_aux = 0;
    std::vector<uint32_t> dlom;
    bool half_dlom = false;  // two bytes per DLOM cell
    uint8_t tail_present = 0;
    uint32_t v32 = 0;
    uint16_t v16 = 0;
};

struct Blob {
    Bytes bytes;
    std::vector<size_t> cuts;  // offsets where a section ends
};

Blob build(const Model &m)
{
    Blob b;
    Bytes &o = b.bytes;
    auto u8 = [&](unsigned v) { o.push_back(uint8_t(v)); };
    auto u16 = [&](unsigned v) {
        u8(v & 0xFF);
        u8(v >> 8);
    };
    auto cut = [&] { b.cuts.push_back(o.size()); };
    for (unsigned v :
         {unsigned(m.version), unsigned(m.revision), unsigned(m.af[0].size()), unsigned(m.aux), unsigned(m.vmc)})
        u8(v);
    cut();
    for (const U16s &a : m.af)
        for (uint16_t v : a)
            u16(v);
    cut();
    u8(unsigned(m.info0.size()));
    o.insert(o.end(), m.info0.begin(), m.info0.end());
    o.insert(o.end(), m.info1.begin(), m.info1.end());
    cut();
    u8(m.lsc_w), u8(m.lsc_h), cut();
    for (const Lsc &l : m.lsc) {
        u8(l.depth);
        for (const U16s &g : l.ch)
            for (uint16_t v : g)
                l.depth > 8 ? u16(v) : u8(v);
        cut();
    }
    for (const U16s &a : m.awb)
        for (uint16_t v : a)
            u16(v);
    cut();
    if (m.version == 2) {
        u8(m.pdaf_present), cut();
        if (m.pdaf_present) {
            u8(unsigned(m.tables.size())), u8(m.grid_w), u8(m.grid_h), u8(m.pdaf_aux), cut();
            for (const auto &t : m.tables)
                for (const U16s &g : t)
                    for (uint16_t v : g)
                        u16(v);
            cut();
            u8(m.dlom_w), u8(m.dlom_h), u8(m.dlom_aux), cut();
            for (uint32_t v : m.dlom)
                m.half_dlom ? u16(v & 0xFFFF) : (u16(v & 0xFFFF), u16(v >> 16));
            cut();
        }
        u8(m.tail_present), cut();
        if (m.tail_present)
            u16(m.v32 & 0xFFFF), u16(m.v32 >> 16), u16(m.v16), cut();
    }
    u16(ve_nvm_crc16(o.data(), o.size()));
    return b;
}

// Samples grow away from the centre, so the centre is below every corner.
std::array<U16s, 4> shading(int w, int h, unsigned base)
{
    std::array<U16s, 4> ch;
    for (int c = 0; c < 4; c++)
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++)
                ch[c].push_back(uint16_t(base + c + std::abs(y - h / 2) + std::abs(x - w / 2)));
    return ch;
}

Model typical(uint8_t version = 1, bool pdaf = false, bool tail = false)
{
    Model m;
    m.version = version;
    for (unsigned k = 0; k < 4; k++) {
        m.af[k] = {uint16_t(0x101 * k + 1), uint16_t(0x8000 + k), uint16_t(k)};
        m.awb[k] = {uint16_t(52 + k), uint16_t(971 - k)};
    }
    m.info0 = {3, 4};
    m.info1 = {0xA0, 0xA1};
    m.lsc_w = 7, m.lsc_h = 5;
    m.lsc = {{8, shading(7, 5, 10)}, {10, shading(7, 5, 0x234)}};
    if (pdaf) {
        m.pdaf_present = 1, m.grid_w = 3, m.grid_h = 2, m.pdaf_aux = 9;
        m.tables = {{U16s{1, 2, 3, 4, 5, 0x1234}, U16s{6, 7, 8, 9, 10, 0xFEDC}}, {U16s(6, 0x55), U16s(6, 0xAA)}};
        m.dlom_w = 2, m.dlom_h = 3, m.dlom_aux = 5;
        m.dlom = {0x11223344, 0xA0B0C0D0, 1, 2, 3, 0xFFFFFFFF};
    }
    if (tail)
        m.tail_present = 1, m.v32 = 0xDEADBEEF, m.v16 = 0xCAFE;
    return m;
}

using Record = std::unique_ptr<ve_nvm, decltype(&ve_nvm_deinit)>;

struct Parsed {
    int32_t status;
    Record rec;
    std::string err;
};

Parsed parse(const Bytes &bytes)
{
    std::unique_ptr<uint8_t[]> copy(new uint8_t[bytes.size()]);
    if (!bytes.empty())
        std::memcpy(copy.get(), bytes.data(), bytes.size());
    ve_nvm_blob blob{copy.get(), uint32_t(bytes.size())};
    ve_nvm sentinel{};
    ve_nvm *out = &sentinel;
    CaptureStderr();
    int32_t status = ve_nvm_parse(&blob, &out);
    std::string err = GetCapturedStderr();
    EXPECT_EQ(status == VE_NVM_OK, out != nullptr) << "status " << status;
    return {status, Record(out == &sentinel ? nullptr : out, ve_nvm_deinit), err};
}

// Serialised bytes of `rec`; `ok` tells whether a blob was produced.
Bytes serialise(const ve_nvm *rec, bool *ok = nullptr, std::string *err = nullptr)
{
    CaptureStderr();
    ve_nvm_blob *blob = ve_nvm_binary_create(rec);
    std::string text = GetCapturedStderr();
    if (err)
        *err = text;
    if (ok)
        *ok = blob != nullptr;
    Bytes out = blob ? Bytes(blob->data, blob->data + blob->size) : Bytes();
    ve_nvm_binary_delete(blob);
    return out;
}

TEST(NvmCrc, Crc16Arc)
{
    const char *check = "123456789";
    EXPECT_EQ(ve_nvm_crc16(reinterpret_cast<const uint8_t *>(check), 9), 0xBB3D);
}

TEST(NvmParse, ArgumentsAndMinimalBlobs)
{
    ve_nvm *out = nullptr;
    char expected[128];
    std::snprintf(expected, sizeof expected, "%sInvalid NVM ptr: %p\n", kErr.c_str(), (void *)nullptr);
    CaptureStderr();
    EXPECT_EQ(ve_nvm_parse(nullptr, &out), VE_NVM_ERR_ARGUMENT);
    EXPECT_EQ(GetCapturedStderr(), expected);
    ve_nvm_blob null_data{nullptr, 100};
    std::snprintf(expected, sizeof expected, "%sInvalid Data ptr: %p size: 100\n", kErr.c_str(), (void *)nullptr);
    CaptureStderr();
    EXPECT_EQ(ve_nvm_parse(&null_data, &out), VE_NVM_ERR_ARGUMENT);
    EXPECT_EQ(GetCapturedStderr(), expected);

    Model m;
    m.lsc_w = 7, m.lsc_h = 5;  // stored although there is no light source
    Bytes ten = build(m).bytes;
    ASSERT_EQ(ten.size(), 10u);
    ve_nvm_blob valid{ten.data(), 10};
    CaptureStderr();
    EXPECT_EQ(ve_nvm_parse(&valid, nullptr), VE_NVM_ERR_ARGUMENT);
    EXPECT_EQ(GetCapturedStderr().rfind(kErr + "Invalid NVM ptr: ", 0), 0u);
    Parsed p = parse(Bytes(ten.begin(), ten.end() - 1));
    EXPECT_EQ(p.status, VE_NVM_ERR_ARGUMENT);
    EXPECT_NE(p.err.find(" size: 9\n"), std::string::npos);
    p = parse(ten);
    ASSERT_EQ(p.status, VE_NVM_OK) << p.err;
    EXPECT_EQ(p.rec->lsc_width, 7);
    EXPECT_EQ(p.rec->lsc_height, 5);
    EXPECT_EQ(p.rec->crc, ten[8] | ten[9] << 8);

    // Version 2 needs its two section flags: 10 and 11 bytes are too short.
    m.version = 2;
    Bytes twelve = build(m).bytes;
    EXPECT_EQ(parse(twelve).status, VE_NVM_OK);
    for (size_t len : {10, 11}) {
        Bytes b(twelve.begin(), twelve.begin() + len);
        b[len - 2] = b[len - 1] = 0;
        p = parse(b);
        EXPECT_EQ(p.status, VE_NVM_ERR_ARGUMENT);
        EXPECT_EQ(p.err, kErr + "Not enough input data!\n");
    }
}

// One change to a valid version-2 blob with every section, and what it gives.
TEST(NvmParse, StatusTriggers)
{
    auto grid = [](int w, int h) {
        return [w, h](Model &m) {
            m.lsc_w = uint8_t(w), m.lsc_h = uint8_t(h);
            for (Lsc &l : m.lsc)
                l.ch = shading(w, h, l.depth > 8 ? 300 : 10);
        };
    };
    const struct {
        std::function<void(Model &)> edit;
        int32_t status;
        const char *err;
    } cases[] = {
        {[](Model &m) { m.version = 0; }, VE_NVM_ERR_VERSION, "Version!"},
        {[](Model &m) { m.revision = 0; }, VE_NVM_ERR_VERSION, "Version!"},
        {[](Model &m) {
             for (U16s &a : m.af)
                 a.push_back(7);
         },
         VE_NVM_ERR_AF_ORIENTATION, "Invalid AF orientation!"},
        {[](Model &m) { m.vmc = 20; }, VE_NVM_OK, "Invalid VMC register bit depth!"},
        {[](Model &m) { m.vmc = 7; }, VE_NVM_OK, "Invalid VMC register bit depth!"},
        {[](Model &m) { m.vmc = 0x88; }, VE_NVM_OK, "Invalid VMC register bit depth!"},
        {[](Model &m) { m.vmc = 8; }, VE_NVM_OK, nullptr},
        {[](Model &m) { m.vmc = 16; }, VE_NVM_OK, nullptr},
        {grid(8, 5), VE_NVM_ERR_LSC, "Invalid LSC width!"},
        {grid(5, 5), VE_NVM_ERR_LSC, "Invalid LSC width!"},
        {grid(7, 4), VE_NVM_ERR_LSC, "Invalid LSC height!"},
        {grid(9, 3), VE_NVM_ERR_LSC, "Invalid LSC height!"},
        {grid(9, 7), VE_NVM_OK, nullptr},
        {[](Model &m) { m.lsc_h = 0, m.lsc.clear(); }, VE_NVM_OK, nullptr},  // no tables follow
        {[](Model &m) { m.awb[0][1] = 51; }, VE_NVM_ERR_AWB, "Invalid AWB sensitivities!"},
        {[](Model &m) { m.awb[3][0] = 972; }, VE_NVM_ERR_AWB, "Invalid AWB sensitivities!"},
        {[](Model &m) { m.grid_w = 0, m.tables.assign(2, {}); }, VE_NVM_ERR_PDAF, "Invalid PDAF PS Gain table!"},
        {[](Model &m) { m.grid_h = 0, m.tables.assign(2, {}); }, VE_NVM_ERR_PDAF, "Invalid PDAF PS Gain table!"},
        {[](Model &m) { m.dlom_w = 0, m.dlom.clear(); }, VE_NVM_ERR_PDAF, "Invalid PDAF PS Gain table!"},
        {[](Model &m) { m.dlom_h = 0, m.dlom.clear(); }, VE_NVM_ERR_PDAF, "Invalid PDAF PS Gain table!"},
        {[](Model &m) { m.tables.clear(); }, VE_NVM_OK, nullptr},
        {[](Model &m) { m.half_dlom = true; }, VE_NVM_OK, "PDAF DLOM data is missing or in not supported format"},
    };
    int i = 0;
    for (const auto &c : cases) {
        Model m = typical(2, true, true);
        c.edit(m);
        Parsed p = parse(build(m).bytes);
        EXPECT_EQ(p.status, c.status) << "case " << i;
        EXPECT_EQ(p.err, c.err ? kErr + c.err + "\n" : "") << "case " << i++;
    }
    Model m = typical(2, true, true);
    m.half_dlom = true;  // skipped, and the tail after it is still found
    Parsed p = parse(build(m).bytes);
    EXPECT_EQ(p.rec->pdaf->dlom, nullptr);
    EXPECT_EQ(p.rec->tail->value16, 0xCAFE);
}

TEST(NvmParse, LensShadingGains)
{
    // Only the centre and the corners are compared.
    Model m = typical();
    for (Lsc &l : m.lsc)
        for (U16s &g : l.ch)
            for (size_t i : {1, 5, 7, 16, 18, 24, 33})
                g[i] = 0xFF;
    EXPECT_EQ(parse(build(m).bytes).status, VE_NVM_OK);
    // The centre must be strictly below each corner of every grid.
    for (size_t source = 0; source < 2; source++)
        for (int c = 0; c < 4; c++)
            for (size_t corner : {0, 6, 28, 34}) {
                m = typical();
                U16s &g = m.lsc[source].ch[c];
                g[corner] = g[2 * 7 + 3];
                Parsed p = parse(build(m).bytes);
                EXPECT_EQ(p.status, VE_NVM_ERR_LSC);
                EXPECT_EQ(p.err, kErr + "Invalid LSC gains!\n");
            }
}

// Every blob that must be rejected whole: a changed byte, any prefix.
TEST(NvmParse, CorruptAndTruncatedBlobs)
{
    Model half = typical(2, true, true);
    half.half_dlom = true;
    Model empty2;
    empty2.version = 2;
    for (const Model &m :
         {typical(), typical(2, true, true), typical(2, false, true), typical(2, true, false), half, empty2}) {
        Blob b = build(m);
        const Bytes &good = b.bytes;
        for (size_t i = 0; i < good.size(); i++) {
            Bytes bad = good;
            bad[i] ^= 0x01;
            // A change that keeps the blob well formed is caught by the checksum alone.
            Bytes fixed(bad.begin(), bad.end() - 2);
            uint16_t crc = ve_nvm_crc16(fixed.data(), fixed.size());
            fixed.push_back(uint8_t(crc)), fixed.push_back(uint8_t(crc >> 8));
            int32_t status = parse(bad).status;
            if (i >= good.size() - 2 || parse(fixed).status == VE_NVM_OK) {
                EXPECT_EQ(status, VE_NVM_ERR_CRC) << "byte " << i;
            } else {
                EXPECT_NE(status, VE_NVM_OK) << "byte " << i;
            }
        }
        size_t dlom_begin = m.pdaf_present ? b.cuts[b.cuts.size() - 4] : good.size();
        for (size_t len = 0; len < good.size(); len++) {
            int32_t status = parse(Bytes(good.begin(), good.begin() + len)).status;
            EXPECT_TRUE(status == VE_NVM_ERR_ARGUMENT || status == VE_NVM_ERR_CRC) << len << ": " << status;
        }
        // Up to the DLOM data (whose short form makes later cuts ambiguous), a
        // blob ending at a section boundary lacks the rest.
        for (size_t cut : b.cuts) {
            if (cut <= dlom_begin && cut < good.size()) {
                EXPECT_EQ(parse(Bytes(good.begin(), good.begin() + cut)).status, VE_NVM_ERR_ARGUMENT) << cut;
            }
        }
    }
}

TEST(NvmSerialise, RoundTrips)
{
    for (uint8_t version : {1, 2, 3})
        for (int sections = 0; sections < 4; sections++) {
            if (version != 2 && sections)
                continue;
            Model m = typical(version, sections & 1, sections & 2);
            Parsed p = parse(build(m).bytes);
            ASSERT_EQ(p.status, VE_NVM_OK) << p.err;
            // Written as version 2 only when a section is present (so 2 without
            // sections becomes 1); revision is always 1.
            m.version = sections ? 2 : 1;
            EXPECT_EQ(serialise(p.rec.get()), build(m).bytes) << int(version) << " " << sections;
        }

    // Each kind of array lands in its own field, decoded little-endian.
    Model m = typical(2, true, true);
    m.revision = 7;
    Bytes b = build(m).bytes;
    b.push_back(0xEE);  // bytes after the checksum are not part of the blob
    Parsed p = parse(b);
    ASSERT_EQ(p.status, VE_NVM_OK);
    const ve_nvm &r = *p.rec;
    EXPECT_EQ(r.af_data[3][1], m.af[3][1]);
    EXPECT_EQ(r.awb[2][1], m.awb[2][1]);
    EXPECT_EQ(r.light_source_info1[1], 0xA1);
    EXPECT_EQ(static_cast<const uint8_t *>(r.lsc[0].channel[3])[34], m.lsc[0].ch[3][34]);
    EXPECT_EQ(static_cast<const uint16_t *>(r.lsc[1].channel[2])[34], m.lsc[1].ch[2][34]);
    EXPECT_EQ(r.pdaf->tables[0].right[5], 0xFEDC);
    EXPECT_EQ(r.pdaf->dlom[1], 0xA0B0C0D0u);
    EXPECT_EQ(r.tail->value32, 0xDEADBEEFu);
    m.revision = 1;
    EXPECT_EQ(serialise(p.rec.get()), build(m).bytes);

    // A skipped DLOM comes back as zeros of the full size.
    m.half_dlom = true;
    p = parse(build(m).bytes);
    m.half_dlom = false, m.dlom.assign(6, 0);
    EXPECT_EQ(serialise(p.rec.get()), build(m).bytes);
}

TEST(NvmSerialise, IncompleteRecords)
{
    ve_nvm_binary_delete(nullptr);
    ve_nvm_deinit(nullptr);
    bool ok = true;
    serialise(nullptr, &ok);
    EXPECT_FALSE(ok);

    Parsed p = parse(build(typical(2, true, true)).bytes);
    ASSERT_EQ(p.status, VE_NVM_OK);
    std::string err;
    ve_nvm no_pdaf = *p.rec, no_tail = *p.rec;  // shallow copies: the arrays stay owned by p
    no_pdaf.pdaf = nullptr, no_tail.tail = nullptr;
    for (const ve_nvm *r : {&no_pdaf, &no_tail}) {
        serialise(r, &ok, &err);
        EXPECT_FALSE(ok);
        EXPECT_EQ(err, kErr + "Not enough memory!\n");
    }

    // Null arrays are written as zeros; LSC dimensions without tables as 0.
    ve_nvm r = *p.rec;
    ve_nvm_pdaf pdaf = *p.rec->pdaf;
    r.pdaf = &pdaf, pdaf.tables = nullptr, pdaf.dlom = nullptr;
    r.lsc = nullptr, r.af_data[1] = nullptr, r.light_source_info0 = nullptr;
    Model m = typical(2, true, true);
    m.lsc_w = m.lsc_h = 0, m.lsc.clear();
    m.af[1].assign(3, 0), m.info0.assign(2, 0), m.dlom.assign(6, 0);
    m.tables.assign(2, {U16s(6), U16s(6)});
    Bytes b = serialise(&r, &ok, &err);
    EXPECT_TRUE(ok);
    EXPECT_EQ(err, "");
    EXPECT_EQ(b, build(m).bytes);
    EXPECT_EQ(parse(b).status, VE_NVM_OK);
}

}  // namespace
