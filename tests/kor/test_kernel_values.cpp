// Values read from kernel nodes: defaults, the order in which a failure
// stops the read, and the bits per pixel of input and output.
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include <vorn/vorn.h>

#include "fixture_tree.h"
#include "log_capture.h"

using namespace Vorn;

namespace {

constexpr int32_t kUnset = -7777;
constexpr uint32_t kUnsetWord = 0xA5A5A5A5u;

struct Values {
    int32_t palUuid = kUnset, id = kUnset, enable = kUnset, rcb = kUnset, branch = kUnset, sink = kUnset,
            restore = kUnset;
    uint32_t metadata[4] = {kUnsetWord, kUnsetWord, kUnsetWord, kUnsetWord};
    status_t status = 1;
};

class KernelValues : public ::testing::Test {
protected:
    vorn_test::Tree tree = vorn_test::parseTree(R"(<graph_descriptor><program_group name="pg">
      <kernel name="full" id="2" pal_uuid="5001" metadata="1,-2,3,4" enabled="0" rcb="1" branch_point="4"
              restore_point="2" sink_port="6"/>
      <kernel name="bare" id="0" pal_uuid="5002" metadata="7,8"/>
      <kernel name="five" id="3" pal_uuid="5004" metadata="1,2,3,4,5" rcb="1"/>
      <kernel name="no_uuid" id="4" rcb="1" restore_point="3" enabled="0"/>
      <kernel name="bpp" id="5" pal_uuid="5006"><input bpp="10"/><output bpp="8"/></kernel>
      <kernel name="bpp_half" id="6" pal_uuid="5007"><input/></kernel>
    </program_group></graph_descriptor>)");

    IGraphConfig *kernel(const std::string &name) { return vorn_test::nodeAt(tree, "pg:" + name); }
    Values read(const std::string &name)
    {
        Values v;
        v.status = TolKorUtils::kernelGetValues(kernel(name), &v.palUuid, &v.id, v.metadata, &v.enable, &v.rcb,
                                                &v.branch, &v.sink, &v.restore);
        return v;
    }
};

}  // namespace

TEST_F(KernelValues, ValuesDefaultsAndWhereAFailureStops)
{
    const Values full = read("full");
    ASSERT_EQ(full.status, err_none);
    EXPECT_EQ(
        (std::vector<int32_t>{full.palUuid, full.id, full.enable, full.rcb, full.branch, full.sink, full.restore}),
        (std::vector<int32_t>{5001, 2, 0, 1, 4, 6, 2}));
    EXPECT_EQ(full.metadata[1], 0xFFFFFFFEu);

    const Values bare = read("bare");
    ASSERT_EQ(bare.status, err_none);
    EXPECT_EQ((std::vector<int32_t>{bare.enable, bare.rcb, bare.branch, bare.sink, bare.restore}),
              (std::vector<int32_t>{1, 0, 0, -1, -1}));
    EXPECT_EQ((std::vector<uint32_t>(bare.metadata, bare.metadata + 4)),
              (std::vector<uint32_t>{7, 8, kUnsetWord, kUnsetWord}));

    // Five numbers do not fit the record: nothing is written, nothing after
    // the metadata is read.
    const Values five = read("five");
    EXPECT_EQ(five.status, err_argument);
    EXPECT_EQ(five.metadata[0], kUnsetWord);
    EXPECT_EQ(five.rcb, kUnset);

    // The values before the pal uuid are stored, those after it are not.
    vorn_test::LogCapture log;
    const Values noUuid = read("no_uuid");
    EXPECT_NE(noUuid.status, err_none);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, "VORN[XOS]", "ERROR: Couldn't get pal_uuid")) << log.dump();
    EXPECT_EQ((std::vector<int32_t>{noUuid.rcb, noUuid.branch, noUuid.restore, noUuid.enable, noUuid.id}),
              (std::vector<int32_t>{1, 0, 3, 0, kUnset}));

    EXPECT_EQ(
        TolKorUtils::kernelGetValues(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
        err_argument);
}

TEST_F(KernelValues, BitsPerPixelOfInputAndOutput)
{
    ve_isp_tol_run_kernels record{};
    record.bpp_info = {99, 99};
    EXPECT_EQ(TolKorUtils::kernelGetBppInfo(kernel("bpp"), record), err_none);
    EXPECT_EQ(record.bpp_info.input_bpp, 10u);
    EXPECT_EQ(record.bpp_info.output_bpp, 8u);

    // An input without "bpp" gives 0; a missing output leaves its field.
    record.bpp_info = {99, 99};
    EXPECT_EQ(TolKorUtils::kernelGetBppInfo(kernel("bpp_half"), record), err_none);
    EXPECT_EQ(record.bpp_info.input_bpp, 0u);
    EXPECT_EQ(record.bpp_info.output_bpp, 99u);
}
