// The imaging inner graphs of generations 6 and 7: kernels, routing nodes,
// terminals, their links, and the kernels switched off.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <vorn/vorn.h>

#include "analysis_fixture.h"
#include "log_capture.h"

using namespace Vorn;
using vorn_test::BuiltGraph;
using vorn_test::innerNode;
using vorn_test::linkNames;
using vorn_test::LogCapture;

namespace {

const std::string kTag = "VORN[XOS]";
using Strings = std::vector<std::string>;

int32_t enableOf(const GraphUtil &util, int32_t subgraph, const std::string &key)
{
    return innerNode(util, subgraph, key).runKernel.enable;
}

}  // namespace

TEST(AnalysisInnerGraph, Generation6KernelsRoutingAndTerminals)
{
    BuiltGraph built("analysis6", 1);
    GraphUtil util;
    LogCapture log;
    ASSERT_EQ(util.init(key_stream_id, built.graph, GDF_VERSION_OKT6), err_none) << log.dump();

    Strings keys;
    for (const auto &entry : util.subGraphs().at(0)->imagingNodes)
        keys.push_back(entry.first);
    EXPECT_EQ(keys, (Strings{"bnr:in", "bnr:nr", "bnr:out", "isa:crop", "isa:dpc", "isa:in", "isa:out", "isa:route"}));

    const GraphUtil::ImagingNode &crop = innerNode(util, 0, "isa:crop");
    EXPECT_EQ(crop.name, "crop");
    EXPECT_EQ(crop.flags, GraphUtil::kFlagRcb);
    EXPECT_EQ(crop.runKernel.kernel_uuid, 101u);
    EXPECT_EQ(crop.runKernel.stream_id, 0u);
    EXPECT_EQ(crop.runKernel.metadata[3], 4u);
    EXPECT_EQ(crop.runKernel.bpp_info.input_bpp, 10u);
    EXPECT_EQ(crop.runKernel.bpp_info.output_bpp, 12u);
    EXPECT_EQ(enableOf(util, 0, "isa:dpc"), 0);

    // Only the active output of the demux is linked; generation 6 warns.
    EXPECT_EQ(linkNames(innerNode(util, 0, "isa:route").outputs), (Strings{"isa:dpc=0"}));
    EXPECT_TRUE(log.has(VE_LOG_WARNING, kTag,
                        "Found klink from a demux non active output route:1->dpc:1- FIX your GDF!! use the ZLT "
                        "oficial version"));
    EXPECT_TRUE(log.has(VE_LOG_VERBOSE, kTag, "Klink route:1->dpc:1 skipped due to mux config"));
    // The connection between program groups of one subgraph links their
    // terminals with the whole connection texts.
    EXPECT_EQ(linkNames(innerNode(util, 0, "isa:out").outputs), (Strings{"bnr:in=bnr:in"}));
    EXPECT_EQ(linkNames(innerNode(util, 0, "bnr:in").inputs), (Strings{"isa:out=isa:out"}));
    EXPECT_EQ(innerNode(util, 0, "bnr:out").type, GraphUtil::ImagingOutputPort);
    EXPECT_EQ(innerNode(util, 0, "isa:in").type, GraphUtil::ImagingInputPort);

    // The split feeds both scalers; the disabled display port switches off
    // the scaler that feeds only it, and the split waits for its other branch.
    GraphUtil::SubGraphInfo &yuv = *util.subGraphs().at(1);
    EXPECT_EQ(linkNames(yuv.imagingNodes.at("yuv:fan")->outputs), (Strings{"yuv:sc_disp=1", "yuv:sc_main=0"}));
    ASSERT_EQ(util.disableKernelsToDisabledTerminals(yuv), err_none);
    EXPECT_EQ(enableOf(util, 1, "yuv:sc_disp"), VE_ISP_TOL_KERNEL_DISABLED);
    EXPECT_NE(innerNode(util, 1, "yuv:sc_disp").flags & GraphUtil::kFlagDisabledPath, 0u);
    EXPECT_EQ(innerNode(util, 1, "yuv:fan").flags & GraphUtil::kFlagDisabledPath, 0u);
    EXPECT_EQ(enableOf(util, 1, "yuv:sc_main"), VE_ISP_TOL_KERNEL_ENABLED);
    EXPECT_EQ(enableOf(util, 1, "yuv:gamma"), VE_ISP_TOL_KERNEL_ENABLED);
    for (const auto &entry : yuv.imagingNodes)
        EXPECT_FALSE(entry.second->visited) << entry.first;

    util.dumpKernels(4);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "subgraph id 4 not FOUND"));
}

TEST(AnalysisInnerGraph, Generation6InactiveMuxInputFails)
{
    BuiltGraph built("analysis6", 4);
    GraphUtil util;
    LogCapture log;
    EXPECT_EQ(util.init(key_stream_id, built.graph, GDF_VERSION_OKT6), err_internal);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Found klink to a mux non active input in:->pick:0 - incorrect GDF"));
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Failed to collect imaging graph info from program_group[mixer]"));
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Analysis of subgraphs failed  -16 "));
}

TEST(AnalysisInnerGraph, Generation7DisconnectedKernelsAndLoopBack)
{
    BuiltGraph built("analysis7", 1);
    GraphUtil util;
    LogCapture log;
    ASSERT_EQ(util.init(key_stream_id, built.graph, GDF_VERSION_OKT7), err_none) << log.dump();
    // The source has a subgraph of its own.
    ASSERT_EQ(util.subGraphs().size(), 3u);
    EXPECT_EQ(util.subGraphs().at(0)->kernelCount, 7u);

    // The klink into the inactive mux input is skipped without an error.
    EXPECT_TRUE(log.has(VE_LOG_VERBOSE, kTag, "Klink orphan:0->sel:1 skipped due to mux config"));
    EXPECT_FALSE(log.contains("non active input"));
    // Kernels no klink reaches are off up to the next output port; the
    // upstream walk from a dead end stops at a kernel with two outputs.
    EXPECT_EQ(enableOf(util, 0, "front:orphan"), VE_ISP_TOL_KERNEL_DISABLED);
    EXPECT_EQ(enableOf(util, 0, "front:stray"), VE_ISP_TOL_KERNEL_DISABLED);
    EXPECT_EQ(enableOf(util, 0, "front:stray_next"), VE_ISP_TOL_KERNEL_DISABLED);
    EXPECT_EQ(enableOf(util, 0, "front:tail"), VE_ISP_TOL_KERNEL_DISABLED);
    EXPECT_EQ(enableOf(util, 0, "front:fork"), VE_ISP_TOL_KERNEL_ENABLED);
    EXPECT_EQ(enableOf(util, 0, "front:lsc"), VE_ISP_TOL_KERNEL_ENABLED);
    EXPECT_EQ(enableOf(util, 0, "front:after"), VE_ISP_TOL_KERNEL_ENABLED);
    // Two klinks end at "out": one terminal with both.
    EXPECT_EQ(linkNames(innerNode(util, 0, "front:out").inputs), (Strings{"front:after=", "front:stray_next="}));

    // The connection that leaves and re-enters "front" marks both ends.
    EXPECT_EQ(innerNode(util, 0, "front:loop_out").flags & GraphUtil::kFlagLoopBack, GraphUtil::kFlagLoopBack);
    EXPECT_EQ(innerNode(util, 0, "front:loop_in").flags & GraphUtil::kFlagLoopBack, GraphUtil::kFlagLoopBack);
    EXPECT_EQ(linkNames(innerNode(util, 0, "front:loop_out").outputs), (Strings{"front:loop_in=front:loop_in"}));
    EXPECT_EQ(util.subGraphs().at(1)->kernelCount, 1u);
    EXPECT_EQ(innerNode(util, 1, "back:tnr").runKernel.stream_id, 1u);
}

TEST(AnalysisInnerGraph, KernelNamedLikeItsPortIsRefused)
{
    BuiltGraph built("analysis7", 2);
    GraphUtil util;
    LogCapture log;
    EXPECT_EQ(util.init(key_stream_id, built.graph, GDF_VERSION_OKT7), err_data);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Imaging node clash:in insertion failed")) << log.dump();
}
