// Kernel lists of first-version graphs: chained contexts filled upstream
// first, the resolution history carried along kernels and across contexts,
// branch, restore and sink-port rules, queries, and broken kernel ids.
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <vorn/vorn.h>

#include "kor_graph.h"
#include "log_capture.h"

using namespace Vorn;
using vorn_test::KorGraph;

namespace {

constexpr const char *kBadIds = "Error: Bad kernel id(s). Kernel ids need to run from 0 to n. Check the GDF.";

std::vector<int32_t> crop(const ve_rectangle &r) { return {r.left, r.top, r.right, r.bottom}; }
std::vector<int32_t> size(const ve_isp_tol_resolution_info &r)
{
    return {r.input_width, r.input_height, r.output_width, r.output_height};
}
std::vector<int32_t> enables(const ve_isp_tol_program_group &group)
{
    std::vector<int32_t> out;
    for (uint32_t i = 0; i < group.kernel_count; ++i)
        out.push_back(group.run_kernels[i].enable);
    return out;
}

}  // namespace

TEST(KernelLists, ChainedContextsCarryTheResolutionHistoryAlongKernelsAndContexts)
{
    vorn_test::LogCapture log;
    KorGraph g(vorn_test::loadTree("kor_chained.xml"));
    ASSERT_EQ(g.status, err_none) << log.dump();
    EXPECT_TRUE(log.has(VE_LOG_VERBOSE, "VORN[XOS]", "KOR utils initialized with 4 exec contexts"));

    // Context 0: the receiver block takes one unused record after the kernels.
    const ve_isp_tol_program_group isa = g.context(0);
    ASSERT_EQ(isa.kernel_count, 4u);
    const ve_isp_tol_run_kernels *k = isa.run_kernels;
    EXPECT_EQ((std::vector<uint32_t>{k[0].kernel_uuid, k[1].kernel_uuid, k[2].kernel_uuid, k[3].kernel_uuid}),
              (std::vector<uint32_t>{100, 101, 102, 0}));
    EXPECT_EQ(k[3].enable, 0);
    EXPECT_EQ(k[3].resolution_info, nullptr);
    EXPECT_EQ(k[3].resolution_history, nullptr);
    EXPECT_EQ(k[0].metadata[1], 2u);
    EXPECT_EQ(k[1].bpp_info.output_bpp, 12u);

    // 4000x3000 -> crop 100/100 to 3800x3000 -> crop 10, 1900x1500 -> crop 10.
    EXPECT_EQ(size(*k[0].resolution_history), (std::vector<int32_t>{4000, 3000, 4000, 3000}));
    EXPECT_EQ(crop(k[0].resolution_history->input_crop), (std::vector<int32_t>{0, 0, 0, 0}));
    EXPECT_EQ(size(*k[1].resolution_history), (std::vector<int32_t>{4000, 3000, 3800, 3000}));
    EXPECT_EQ(crop(k[1].resolution_history->input_crop), (std::vector<int32_t>{100, 0, 100, 0}));
    EXPECT_EQ(size(*k[2].resolution_history), (std::vector<int32_t>{4000, 3000, 1900, 1500}));
    EXPECT_EQ(crop(k[2].resolution_history->input_crop), (std::vector<int32_t>{110, 0, 100, 0}));
    EXPECT_EQ(k[2].resolution_info->input_crop.left, 10);

    // Context 1 starts where context 0's sink port left the image: the
    // last crop of 10 is worth 19 source pixels at 2042/1024.
    const ve_isp_tol_program_group psa = g.context(1);
    ASSERT_EQ(psa.kernel_count, 5u);
    const ve_isp_tol_run_kernels *p = psa.run_kernels;
    EXPECT_EQ(crop(p[0].resolution_history->input_crop), (std::vector<int32_t>{129, 0, 100, 0}));
    // A kernel that passes the image through reports it unchanged.
    ASSERT_NE(p[0].resolution_info, nullptr);
    EXPECT_EQ(size(*p[0].resolution_info), (std::vector<int32_t>{1900, 1500, 1900, 1500}));
    // The disabled statistics terminal switches off its kernel back to the
    // branch point; the bypassed kernel stays bypassed.
    EXPECT_EQ(enables(psa), (std::vector<int32_t>{1, 1, 2, 1, 0}));
    // The restore point goes back to the image at the branch point.
    EXPECT_EQ(size(*p[4].resolution_history), (std::vector<int32_t>{4000, 3000, 1900, 1500}));

    // Context 2 is fed from the scaler (950x750), context 3 from the restored
    // image; kernel ids 1, 0 land in slots 1, 0.
    const ve_isp_tol_program_group vpp = g.context(2);
    ASSERT_EQ(vpp.kernel_count, 2u);
    EXPECT_EQ(vpp.run_kernels[0].kernel_uuid, 300u);
    EXPECT_EQ(size(*vpp.run_kernels[0].resolution_history), (std::vector<int32_t>{4000, 3000, 950, 750}));
    EXPECT_EQ(crop(vpp.run_kernels[1].resolution_history->input_crop), (std::vector<int32_t>{129, 60, 100, 60}));
    const ve_isp_tol_program_group tnr = g.context(3);
    ASSERT_EQ(tnr.kernel_count, 2u);
    EXPECT_EQ(size(*tnr.run_kernels[0].resolution_history), (std::vector<int32_t>{4000, 3000, 1900, 1500}));
}

TEST(KernelLists, QueriesByContextAndByProgramGroup)
{
    vorn_test::LogCapture log;
    KorGraph g(vorn_test::loadTree("kor_chained.xml"));
    ASSERT_EQ(g.status, err_none);

    ve_isp_tol_program_group group{};
    ASSERT_EQ(g.kor.getProgramGroup(g.node("vpp"), group), err_none);
    ASSERT_EQ(group.kernel_count, 2u);
    EXPECT_EQ(group.run_kernels[0].kernel_uuid, 300u);
    EXPECT_EQ(group.run_kernels[1].kernel_uuid, 301u);
    EXPECT_NE(group.run_kernels, g.context(2).run_kernels);  // a copy of its own

    EXPECT_EQ(g.kor.getProgramGroup(nullptr, group), err_argument);
    EXPECT_TRUE(log.has("Invalid parameter provided (nullptr)"));
    EXPECT_EQ(g.kor.getProgramGroup(g.node("sensor"), group), err_argument);
    EXPECT_TRUE(log.has("Could not find the PG sensor in the PG memory pool map"));
    EXPECT_EQ(group.kernel_count, 0u);

    EXPECT_EQ(g.context(-1).kernel_count, 0u);
    EXPECT_TRUE(log.has("Invalid stream id -1"));
    EXPECT_EQ(g.context(9).kernel_count, 0u);
    EXPECT_TRUE(log.has("No kernels found with stream id 9"));

    log.clear();
    g.kor.dumpKernels(2);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, "VORN[XOS]", "FOUND index for exec ctx id 2 dumping 2 kernels:"));
    EXPECT_TRUE(log.has("kernel_uuid: 301 [ENABLED (1)]"));
    g.kor.dumpKernels(9);
    EXPECT_TRUE(log.has("COULD NOT FIND index for exec ctx id 9 "));

    // A second initialisation releases the first lists and builds the same.
    ASSERT_EQ(g.kor.initKorUtils(g.tree.get()), err_none);
    EXPECT_EQ(g.context(0).kernel_count, 4u);
    EXPECT_EQ(g.context(1).kernel_count, 5u);
}

TEST(KernelLists, DisabledTerminalWalksBackToTheBranchPointOrARestorePoint)
{
    const auto run = [](const std::string &restore) {
        vorn_test::LogCapture log;
        KorGraph g(vorn_test::parseTree(vorn_test::singleContextGraph(
            R"(<kernel name="k0" id="0" pal_uuid="10"/><kernel name="k1" id="1" pal_uuid="11" branch_point="1"/>
               <kernel name="k2" id="2" pal_uuid="12"/><kernel name="k3" id="3" pal_uuid="13" )" +
            restore + R"(/><kernel name="k4" id="4" pal_uuid="14" sink_port="2"/>)")));
        EXPECT_EQ(g.status, err_none) << log.dump();
        return enables(g.context(0));
    };
    EXPECT_EQ(run(""), (std::vector<int32_t>{1, 1, 2, 2, 2}));
    EXPECT_EQ(run(R"(restore_point="2")"), (std::vector<int32_t>{1, 1, 1, 2, 2}));

    // A restore point without its branch point keeps the current image.
    vorn_test::LogCapture log;
    KorGraph g(vorn_test::parseTree(
        vorn_test::singleContextGraph(R"(<kernel name="k0" id="0" pal_uuid="10" restore_point="7"/>)")));
    EXPECT_EQ(g.status, err_none);
    EXPECT_TRUE(log.has("Found restore_point attribute, but no branch points. Ignoring attribute and continuing."));
    EXPECT_EQ(size(*g.context(0).run_kernels[0].resolution_history), (std::vector<int32_t>{4000, 3000, 4000, 3000}));
}

TEST(KernelLists, BrokenKernelIdsAndSinkPortsStopTheGeneration)
{
    const auto run = [](const std::string &kernels, vorn_test::LogCapture &log) {
        KorGraph g(vorn_test::parseTree(vorn_test::singleContextGraph(kernels)));
        EXPECT_TRUE(log.has("Generating kernel lists failed")) << kernels;
        return g.status;
    };
    const auto ids = [](int a, int b, int c) {
        return "<kernel name=\"a\" pal_uuid=\"1\" id=\"" + std::to_string(a) +
               "\"/><kernel name=\"b\" pal_uuid=\"2\" id=\"" + std::to_string(b) +
               "\"/><kernel name=\"c\" pal_uuid=\"3\" id=\"" + std::to_string(c) + "\"/>";
    };
    // A wrong sum, and sums that fit but ids outside 0..2 (which would write
    // past the array).
    for (const auto &kernels : {ids(0, 1, 3), ids(0, 0, 3), ids(-1, 1, 3), ids(3, 0, 0)}) {
        vorn_test::LogCapture log;
        EXPECT_EQ(run(kernels, log), err_internal);
        EXPECT_TRUE(log.has(VE_LOG_ERROR, "VORN[XOS]", kBadIds)) << kernels;
        EXPECT_TRUE(log.has("Creating kernel list for exec ctx id 0 failed"));
    }
    {
        // Only the sum is compared: 1, 1, 1 is accepted.
        vorn_test::LogCapture log;
        KorGraph g(vorn_test::parseTree(vorn_test::singleContextGraph(ids(1, 1, 1))));
        EXPECT_EQ(g.status, err_none);
    }
    {
        vorn_test::LogCapture log;
        EXPECT_EQ(run(R"(<kernel name="a" id="0" pal_uuid="1" sink_port="9"/>)", log), err_internal);
        EXPECT_TRUE(log.has("Kernel sink port id 9 invalid"));
    }
    {
        // Reached with no image to scale.
        vorn_test::LogCapture log;
        KorGraph g(vorn_test::parseTree(R"(<graph_descriptor><source name="buffer_src0">
          <port name="port_0" id="0" direction="1" width="0" height="0" peer="pg:input"/></source>
          <program_group name="pg" stream_id="0"><port name="input" id="0" direction="0" peer="buffer_src0:port_0"/>
          <port name="output" id="1" direction="1" peer="out"/>
          <kernel name="s" id="0" pal_uuid="1"><input width="10" height="10" left="0" top="0" right="0" bottom="0"/><output width="5" height="5"/></kernel>
          </program_group><sink name="out" stream_id="0" peer="pg:output"/></graph_descriptor>)"));
        EXPECT_EQ(g.status, err_internal);
        EXPECT_TRUE(log.has("output width or height is 0")) << log.dump();
    }
    {
        // Sizes and crops at the 32-bit limits wrap instead of overflowing.
        vorn_test::LogCapture log;
        KorGraph g(vorn_test::parseTree(R"(<graph_descriptor><source name="buffer_src0">
          <port name="port_0" id="0" direction="1" width="2147483647" height="1" peer="pg:input"/></source>
          <program_group name="pg" stream_id="0"><port name="input" id="0" direction="0" peer="buffer_src0:port_0"/>
          <port name="output" id="1" direction="1" peer="out"/>
          <kernel name="s" id="0" pal_uuid="1"><input width="1" height="1" left="2147483647" top="-2147483648"
            right="-2147483648" bottom="2147483647"/><output width="1" height="1"/></kernel>
          <kernel name="t" id="1" pal_uuid="2"><input width="1" height="1" left="2147483647" top="0" right="0"
            bottom="0"/><output width="-1" height="1"/></kernel>
          <kernel name="u" id="2" pal_uuid="3"/>
          </program_group><sink name="out" stream_id="0" peer="pg:output"/></graph_descriptor>)"));
        EXPECT_EQ(g.status, err_none) << log.dump();
    }
}

TEST(KernelLists, ContextsWithoutKernelsAndGraphsLeftToTheAnalysis)
{
    {
        // The sink's context has a program group but no kernels.
        vorn_test::LogCapture log;
        KorGraph g(vorn_test::parseTree(vorn_test::singleContextGraph("")));
        EXPECT_EQ(g.status, err_argument);
        EXPECT_TRUE(log.has("Could not find the exec ctx 0 in the run kernels map"));
        EXPECT_EQ(g.context(0).kernel_count, 0u);
    }
    {
        // Kernel links make a new-version graph, handed to the analysis (which
        // finds no "graph" element here); nothing is answered from an
        // earlier graph.
        vorn_test::LogCapture log;
        KorGraph g(vorn_test::loadTree("kor_chained.xml"));
        auto linked =
            vorn_test::parseTree(vorn_test::singleContextGraph(R"(<klink/><kernel name="a" id="0" pal_uuid="1"/>)"));
        EXPECT_EQ(g.kor.initKorUtils(linked.get()), err_internal);
        EXPECT_TRUE(log.has("Graph settings analysis failed"));
        EXPECT_EQ(g.context(0).kernel_count, 0u);
        ve_isp_tol_program_group group{};
        EXPECT_EQ(g.kor.getProgramGroup(g.node("isa"), group), err_argument);
    }
    {
        vorn_test::LogCapture log;
        TolKorUtils kor;
        EXPECT_EQ(kor.initKorUtils(nullptr), err_argument);
        EXPECT_TRUE(log.has("GC Handle NULL"));
    }
}

TEST(KernelLists, ForcedConfigurationsLaterMatchWins)
{
    ve_isp_tol_run_kernels record{};
    record.kernel_uuid = 37235;
    record.enable = 1;
    std::vector<KernelConfigContainer> configs = {
        {KernelConfigContainer::kApplyEnable, 37235, 0, {}, {}},
        {KernelConfigContainer::kApplyEnable | KernelConfigContainer::kApplyMetadata, 37235, 2, {1, 2, 3, 4}, {}},
        {KernelConfigContainer::kApplyBppInfo, 99, 0, {}, {10, 10}},
    };
    TolKorUtils::applyKernelConfigs(configs, record);
    EXPECT_EQ(record.enable, 2);
    EXPECT_EQ(record.metadata[3], 4u);
    EXPECT_EQ(record.bpp_info.input_bpp, 0u);
    EXPECT_EQ(TolKorUtils::kernelIdSanityCheck(0, 0), err_none);
    EXPECT_EQ(TolKorUtils::kernelIdSanityCheck(6, 4), err_none);
}
