// Resolution histories and run-kernel records of new-version graphs, worked
// out by hand, their lifetime, and graphs they cannot be built for.
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <vorn/vorn.h>

#include "analysis_fixture.h"
#include "fixture_tree.h"
#include "log_capture.h"

using namespace Vorn;
using vorn_test::BuiltGraph;
using vorn_test::innerNode;
using vorn_test::LogCapture;

namespace {

const std::string kTag = "VORN[XOS]";
using Values = std::vector<int32_t>;

// iw ih (l t r b) ow oh (l t r b)
Values fields(const ve_isp_tol_resolution_info &r)
{
    return {r.input_width,      r.input_height,      r.input_crop.left,   r.input_crop.top,
            r.input_crop.right, r.input_crop.bottom, r.output_width,      r.output_height,
            r.output_crop.left, r.output_crop.top,   r.output_crop.right, r.output_crop.bottom};
}

// The image a 4000x3000 source delivers, halved, then cropped by the crop
// kernel of histories6 and pipeline_v*.
const Values kSource = {4000, 3000, 0, 0, 0, 0, 4000, 3000, 0, 0, 0, 0};
const Values kHalved = {4000, 3000, 0, 0, 0, 0, 2000, 1500, 0, 0, 0, 0};
const Values kCropped = {4000, 3000, 200, 100, 200, 100, 1800, 1400, 0, 0, 0, 0};

ve_isp_tol_program_group korData(const GraphUtil &util, int32_t id)
{
    ve_isp_tol_program_group group{99, nullptr, -1};
    EXPECT_EQ(util.getKorData(id, group), err_none) << id;
    return group;
}

// Every record of a subgraph points into records of its own, and so does
// every kernel node; after a release nothing points anywhere.
void expectNoDanglingPointers(const GraphUtil &util)
{
    for (const auto &entry : util.subGraphs()) {
        EXPECT_EQ(entry.second->runKernels, nullptr) << entry.first;
        for (const auto &node : entry.second->imagingNodes)
            EXPECT_EQ(node.second->korRunKernel, nullptr) << node.first;
    }
}

// A record's kernel, enable state, history and resolution infos (none: a
// null array and a count of 0).
void expectRecord(const ve_isp_tol_run_kernels &record, uint32_t uuid, int32_t enable, const Values &history,
                  const std::vector<Values> &infos)
{
    EXPECT_EQ(record.kernel_uuid, uuid);
    EXPECT_EQ(record.enable, enable) << uuid;
    ASSERT_NE(record.resolution_history, nullptr) << uuid;
    EXPECT_EQ(fields(*record.resolution_history), history) << uuid;
    ASSERT_EQ(record.resolution_info_count, infos.size()) << uuid;
    EXPECT_EQ(record.resolution_info == nullptr, infos.empty()) << uuid;
    for (size_t i = 0; i < infos.size(); ++i)
        EXPECT_EQ(fields(record.resolution_info[i]), infos[i]) << uuid << " info " << i;
}

void expectMarksClear(const GraphUtil &util)
{
    for (const auto &sg : util.subGraphs()) {
        EXPECT_FALSE(sg.second->visited) << sg.first;
        for (const auto &node : sg.second->imagingNodes)
            EXPECT_FALSE(node.second->visited) << node.first;
    }
}

}  // namespace

// histories6 key 1, by hand (sizes w x h, crops l/t/r/b in source pixels):
// - source 4000x3000, no crop: S = 4000x3000 (0/0/0/0) -> 4000x3000.
// - front:scale gets S; its settings 4000x3000 -> 2000x1500, scale
//   (4000 * 1024) / 4000 = 1024: H1 = 4000x3000 (0) -> 2000x1500.
// - the split hands H1 to crop and pass. crop: scale (4000 * 1024) / 2000 =
//   2048 both ways, crop 100/50/100/50 -> (100 * 2048) >> 10 = 200,
//   (50 * 2048) >> 10 = 100: H2 = 4000x3000 (200/100/200/100) -> 1800x1400.
//   pass (rcb, no settings): 2000x1500 -> 2000x1500, leaves H1.
// - blend has crop (1800x1400) and pass (2000x1500) as parents: 2000x1500 is
//   larger in both, so blend gets H1 (whichever parent comes first).
// - dual: outputs "full" 1920x1080 and "small" 640x480 cropped 10 on every
//   side: main gets 4000x3000 (0) -> 1920x1080, aux 4000x3000 (0) -> 620x460.
// - mid:down gets main's image; scale (4000 * 1024) / 1920 = 2133 and
//   (3000 * 1024) / 1080 = 2844; crop 30/60/30/60 -> (30 * 2133) >> 10 = 62,
//   (60 * 2844) >> 10 = 166: mid:out = 4000x3000 (62/166/62/166) -> 1280x720.
// - merge:mix has aux (620x460) and mid:out (1280x720) as parents and takes
//   1280x720, since merge waits for mid although front reaches it first.
TEST(AnalysisKorData, HistoriesOfAGeneration6GraphByHand)
{
    BuiltGraph built("histories6", 1);
    GraphUtil util;
    LogCapture log;
    ASSERT_EQ(util.init(key_stream_id, built.graph, GDF_VERSION_OKT6), err_none) << log.dump();
    EXPECT_EQ(fields(util.getSourceResHistory()), kSource);
    EXPECT_FALSE(log.contains("did not reach"));

    // front: slots in key order blend, crop, dual, pass, scale.
    const ve_isp_tol_program_group front = korData(util, 0);
    ASSERT_EQ(front.kernel_count, 5u);
    EXPECT_EQ(front.tuning_mode, 4);
    const ve_isp_tol_run_kernels *k = front.run_kernels;
    const int32_t on = VE_ISP_TOL_KERNEL_ENABLED;
    // blend is bypassed, still carrying the image; dual (no rcb) has two
    // outputs with settings of their own, in port-name order; pass (rcb)
    // passes the image through.
    expectRecord(k[0], 14, VE_ISP_TOL_KERNEL_BYPASS, kHalved, {});
    expectRecord(k[1], 12, on, kHalved, {{2000, 1500, 100, 50, 100, 50, 1800, 1400, 0, 0, 0, 0}});
    expectRecord(
        k[2], 15, on, kHalved,
        {{2000, 1500, 0, 0, 0, 0, 1920, 1080, 0, 0, 0, 0}, {2000, 1500, 0, 0, 0, 0, 640, 480, 10, 10, 10, 10}});
    expectRecord(k[3], 13, on, kHalved, {{2000, 1500, 0, 0, 0, 0, 2000, 1500, 0, 0, 0, 0}});
    expectRecord(k[4], 11, on, kSource, {{4000, 3000, 0, 0, 0, 0, 2000, 1500, 0, 0, 0, 0}});
    EXPECT_EQ(k[4].metadata[0], 7u);
    EXPECT_EQ(k[4].bpp_info.output_bpp, 12u);
    // What leaves front, per output.
    EXPECT_EQ(fields(innerNode(util, 0, "front:main").resHistory),
              (Values{4000, 3000, 0, 0, 0, 0, 1920, 1080, 0, 0, 0, 0}));
    EXPECT_EQ(fields(innerNode(util, 0, "front:aux").resHistory),
              (Values{4000, 3000, 0, 0, 0, 0, 620, 460, 0, 0, 0, 0}));

    const Values scaled = {4000, 3000, 62, 166, 62, 166, 1280, 720, 0, 0, 0, 0};
    const ve_isp_tol_program_group mid = korData(util, 2);
    ASSERT_EQ(mid.kernel_count, 1u);
    expectRecord(mid.run_kernels[0], 21, on, {4000, 3000, 0, 0, 0, 0, 1920, 1080, 0, 0, 0, 0},
                 {{1920, 1080, 30, 60, 30, 60, 1280, 720, 0, 0, 0, 0}});
    EXPECT_EQ(fields(innerNode(util, 2, "mid:out").resHistory), scaled);
    const ve_isp_tol_program_group merge = korData(util, 1);
    ASSERT_EQ(merge.kernel_count, 1u);
    expectRecord(merge.run_kernels[0], 31, on, scaled, {});
    EXPECT_TRUE(log.has(VE_LOG_VERBOSE, kTag, "Subgraph 1 not ready to be visited, waiting for subgraph 2"));
    EXPECT_TRUE(log.has(VE_LOG_VERBOSE, kTag,
                        "Node mix not ready to be visited, not all active parents have been visited yet ex: "
                        "merge:in_b"));

    // The source's subgraph has no kernels and no records.
    const ve_isp_tol_program_group source = korData(util, 9);
    EXPECT_EQ(source.kernel_count, 0u);
    EXPECT_EQ(source.run_kernels, nullptr);

    // Per program group: the subgraph's records in the group's child order,
    // the group's own tuning mode.
    ve_isp_tol_program_group group{};
    ASSERT_EQ(util.getPgKorData(built.node("front"), group), err_none);
    ASSERT_EQ(group.kernel_count, 5u);
    EXPECT_EQ(group.tuning_mode, 4);
    EXPECT_NE(group.run_kernels, front.run_kernels);
    std::vector<uint32_t> childOrder, pgOrder;
    NodeIterator kernels(built.node("front"));
    while (const IGraphConfig *kernel = kernels.iterateByType(key_kernel))
        childOrder.push_back(static_cast<uint32_t>(vorn_test::intOf(kernel, key_pal_uuid)));
    for (uint32_t i = 0; i < group.kernel_count; ++i) {
        pgOrder.push_back(group.run_kernels[i].kernel_uuid);
        if (group.run_kernels[i].kernel_uuid == 15) {
            EXPECT_EQ(group.run_kernels[i].resolution_info, k[2].resolution_info);
        }
    }
    EXPECT_EQ(pgOrder, childOrder);
    ASSERT_EQ(util.getPgKorData(built.node("mid"), group), err_none);
    EXPECT_EQ(group.tuning_mode, 0);
    EXPECT_TRUE(log.has(VE_LOG_WARNING, kTag, "Could not find the tuning mode for PG mid default to 0"));

    expectMarksClear(util);

    log.clear();
    util.dumpKorStructs();
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Dumping run-kernels for 4 subgraphs of type stream_id "));
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag,
                        "res_info[1]: (iw: 2000 ih: 1500 (l: 0, t: 0, r: 0, b: 0),ow: 640, oh: 480 (l: 10, t: 10, "
                        "r: 10, b: 10)"));
}

// analysis6 and analysis7 (no kernel changes resolution): the image of the
// source (4000x3000, 1920x1080) reaches every kernel walked unchanged.
TEST(AnalysisKorData, SourceSubgraphsDisabledPathsAndLoopBacks)
{
    {
        BuiltGraph built("analysis6", 1);
        GraphUtil util;
        LogCapture log;
        ASSERT_EQ(util.init(key_stream_id, built.graph, GDF_VERSION_OKT6), err_none) << log.dump();
        // Stream 0 holds the source: it is not walked, so its records keep
        // what the allocation set.
        const ve_isp_tol_program_group isa = korData(util, 0);
        ASSERT_EQ(isa.kernel_count, 3u);
        EXPECT_EQ(isa.run_kernels[0].kernel_uuid, 0u);
        EXPECT_EQ(fields(*isa.run_kernels[0].resolution_history), Values(12, 0));
        EXPECT_EQ(isa.run_kernels[0].resolution_info_count, 1u);
        // Stream 1: gamma, sc_disp, sc_main; the display port is disabled.
        const ve_isp_tol_program_group yuv = korData(util, 1);
        ASSERT_EQ(yuv.kernel_count, 3u);
        expectRecord(yuv.run_kernels[0], 201, VE_ISP_TOL_KERNEL_ENABLED, kSource, {});
        expectRecord(yuv.run_kernels[1], 203, VE_ISP_TOL_KERNEL_DISABLED, Values(12, 0), {});
        expectRecord(yuv.run_kernels[2], 202, VE_ISP_TOL_KERNEL_ENABLED, kSource, {});
        EXPECT_TRUE(log.has(VE_LOG_VERBOSE, kTag, "--- Res history Visit of node sc_disp  SKIPPED node disabled ---"));
    }
    {
        // Generation 7: "out" is fed by "after" and by the disconnected (so
        // disabled) "stray_next", which is never reached and must not hold
        // it back; "after" gets the image through the loop-back connection.
        BuiltGraph built("analysis7", 1);
        GraphUtil util;
        LogCapture log;
        ASSERT_EQ(util.init(key_stream_id, built.graph, GDF_VERSION_OKT7), err_none) << log.dump();
        const Values full = {1920, 1080, 0, 0, 0, 0, 1920, 1080, 0, 0, 0, 0};
        EXPECT_EQ(fields(innerNode(util, 0, "front:after").resHistory), full);
        EXPECT_EQ(fields(innerNode(util, 0, "front:out").resHistory), full);
        EXPECT_EQ(fields(innerNode(util, 0, "front:stray").resHistory), Values(12, 0));
        const ve_isp_tol_program_group back = korData(util, 1);
        ASSERT_EQ(back.kernel_count, 1u);
        expectRecord(back.run_kernels[0], 501, VE_ISP_TOL_KERNEL_ENABLED, full, {});
        EXPECT_FALSE(log.contains("not reached"));
    }
}

TEST(AnalysisKorData, GraphsWhoseHistoriesCannotBeBuilt)
{
    // Settings that disagree with the image reaching the kernel.
    {
        BuiltGraph built("histories6", 2);
        GraphUtil util;
        LogCapture log;
        EXPECT_EQ(util.init(key_stream_id, built.graph, GDF_VERSION_OKT6), err_internal);
        EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag,
                            "Consistency error in kernel wrong, res info input(1920x1080) is different than res "
                            "history output(4000x3000)- check your settings!"));
        EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "subgraph 0 inner graph traversal stopped with error -16"));
        EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Traversal of subgraphs failed on subgraph 9"));
        EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "KOR structures population failed"));
        // A failed init hands out nothing, and nothing points at released
        // records; the marks are clear.
        EXPECT_TRUE(util.holdsGraph());
        const ve_isp_tol_program_group group = korData(util, 0);
        EXPECT_EQ(group.kernel_count, 0u);
        EXPECT_EQ(group.run_kernels, nullptr);
        expectNoDanglingPointers(util);
        expectMarksClear(util);
        ve_isp_tol_program_group byPg{};
        EXPECT_EQ(util.getPgKorData(built.node("odd"), byPg), err_argument);
        EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Could not find the PG odd in the PG memory pool map"));
        log.clear();
        util.dumpKernels(0);
        util.dumpKorStructs();
        EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "FOUND  subgraph id 0 [stream_id] dumping 0 kernels:"));
        EXPECT_FALSE(log.contains("kernel_uuid"));
        // The kernel lists answer the same through their forwarding.
        TolKorUtils kor;
        EXPECT_EQ(kor.initKorUtils(built.graph), err_internal);
        ve_isp_tol_program_group byStream{};
        kor.getProgramGroup(0, byStream);
        EXPECT_EQ(byStream.kernel_count, 0u);
        EXPECT_EQ(kor.getProgramGroup(built.node("odd"), byPg), err_argument);
    }
    // A crop that leaves no image.
    {
        BuiltGraph built("histories6", 3);
        GraphUtil util;
        LogCapture log;
        EXPECT_EQ(util.init(key_stream_id, built.graph, GDF_VERSION_OKT6), err_internal);
        EXPECT_TRUE(log.contains("Consistency error in kernel eat, res info [0] crops more than its image"))
            << log.dump();
    }
    // No image at all: a source port of width 0 reaching a resolution change
    // (no division by zero).
    {
        BuiltGraph built("histories6", 1);
        auto *port = GraphConfigNode::from(built.node("buffer_src:port_0"));
        ASSERT_EQ(port->removeDescendant(key_width), err_none);
        ASSERT_EQ(port->insertDescendant(new GraphConfigIntAttribute(0), key_width), err_none);
        GraphUtil util;
        LogCapture log;
        EXPECT_EQ(util.init(key_stream_id, built.graph, GDF_VERSION_OKT6), err_internal);
        EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Resolution history output width or height is 0"));
    }
    // Two subgraphs feeding each other: neither is ever ready; the rest of
    // the graph is built and the two are reported.
    {
        BuiltGraph built("histories6", 4);
        GraphUtil util;
        LogCapture log;
        EXPECT_EQ(util.init(key_stream_id, built.graph, GDF_VERSION_OKT6), err_none) << log.dump();
        EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Traversal of meta graph did not reach all nodes 1/3"));
        const ve_isp_tol_program_group ping = korData(util, 3);
        ASSERT_EQ(ping.kernel_count, 1u);
        EXPECT_EQ(ping.run_kernels[0].kernel_uuid, 0u);
        EXPECT_EQ(fields(*ping.run_kernels[0].resolution_history), Values(12, 0));
        expectMarksClear(util);
    }
}

TEST(AnalysisKorData, RecordsLiveUntilTheNextInit)
{
    BuiltGraph built("histories6", 1);
    GraphUtil util;
    ASSERT_EQ(util.init(key_stream_id, built.graph, GDF_VERSION_OKT6), err_none);
    const ve_isp_tol_program_group first = korData(util, 0);
    ve_isp_tol_program_group byPg{};
    ASSERT_EQ(util.getPgKorData(built.node("front"), byPg), err_none);
    EXPECT_EQ(korData(util, 0).run_kernels, first.run_kernels);
    const Values history = fields(*first.run_kernels[1].resolution_history);

    // A second init releases everything and builds the same records anew
    // (the sanitizer build checks that nothing leaks or is read after its
    // release).
    {
        LogCapture log;
        ASSERT_EQ(util.init(key_stream_id, built.graph, GDF_VERSION_OKT6), err_none);
        EXPECT_FALSE(log.contains("Allocating kernel structures before deleting."));
    }
    const ve_isp_tol_program_group second = korData(util, 0);
    ASSERT_EQ(second.kernel_count, 5u);
    EXPECT_EQ(fields(*second.run_kernels[1].resolution_history), history);
    EXPECT_EQ(innerNode(util, 0, "front:blend").korRunKernel, second.run_kernels);

    util.deleteKorStructs();
    expectNoDanglingPointers(util);
    EXPECT_EQ(korData(util, 0).run_kernels, nullptr);
    util.reset();
    EXPECT_FALSE(util.holdsGraph());
    EXPECT_TRUE(util.subGraphs().empty());
}

// One pipeline written as a first-version graph and as a generation-6 graph:
// the program group's records hold the same kernels, enable states,
// resolution infos and histories. They differ where the records do: the
// generation-6 records come in the group's child order rather than by kernel
// id, count their resolution infos and carry the group's tuning mode.
TEST(AnalysisKorData, FirstVersionAndGeneration6RecordsAgree)
{
    vorn_test::Tree v1 = vorn_test::loadTree("pipeline_v1.xml");
    vorn_test::Tree v6 = vorn_test::loadTree("pipeline_v6.xml");
    TolKorUtils first;
    TolKorUtils second;
    LogCapture log;
    ASSERT_EQ(first.initKorUtils(v1.get()), err_none) << log.dump();
    ASSERT_EQ(second.initKorUtils(v6.get()), err_none) << log.dump();
    ve_isp_tol_program_group a{}, b{};
    ASSERT_EQ(first.getProgramGroup(v1->getDescendantByString("isp"), a), err_none);
    ASSERT_EQ(second.getProgramGroup(v6->getDescendantByString("isp"), b), err_none);
    ASSERT_EQ(a.kernel_count, 4u);
    ASSERT_EQ(b.kernel_count, 4u);
    EXPECT_EQ(a.tuning_mode, 0);
    EXPECT_EQ(b.tuning_mode, 3);
    // The first version places a kernel's record by its "id", the new
    // version in the group's child order: records are matched by kernel.
    std::map<uint32_t, const ve_isp_tol_run_kernels *> byUuid;
    for (uint32_t i = 0; i < b.kernel_count; ++i)
        byUuid[b.run_kernels[i].kernel_uuid] = &b.run_kernels[i];
    ASSERT_EQ(byUuid.size(), 4u);
    const Values passThrough = {1800, 1400, 0, 0, 0, 0, 1800, 1400, 0, 0, 0, 0};
    const std::vector<Values> histories = {kSource, kHalved, kCropped, kCropped};
    const std::vector<std::vector<Values>> infos = {{{4000, 3000, 0, 0, 0, 0, 2000, 1500, 0, 0, 0, 0}},
                                                    {{2000, 1500, 100, 50, 100, 50, 1800, 1400, 0, 0, 0, 0}},
                                                    {passThrough},
                                                    {}};
    for (uint32_t i = 0; i < 4; ++i) {
        const ve_isp_tol_run_kernels &x = a.run_kernels[i];
        const int32_t enable = i == 3 ? VE_ISP_TOL_KERNEL_BYPASS : VE_ISP_TOL_KERNEL_ENABLED;
        // The first version counts a single info as 0.
        EXPECT_EQ(x.kernel_uuid, 11 + i);
        EXPECT_EQ(x.enable, enable);
        EXPECT_EQ(fields(*x.resolution_history), histories[i]) << i;
        EXPECT_EQ(x.resolution_info_count, 0u);
        ASSERT_EQ(x.resolution_info == nullptr, infos[i].empty()) << i;
        if (x.resolution_info != nullptr) {
            EXPECT_EQ(fields(*x.resolution_info), infos[i][0]) << i;
        }
        ASSERT_EQ(byUuid.count(11 + i), 1u) << i;
        const ve_isp_tol_run_kernels &y = *byUuid[11 + i];
        expectRecord(y, 11 + i, enable, histories[i], infos[i]);
        EXPECT_EQ(y.stream_id, x.stream_id) << i;
        EXPECT_EQ(y.bpp_info.output_bpp, x.bpp_info.output_bpp) << i;
        EXPECT_EQ(y.metadata[0], x.metadata[0]) << i;
    }

    // By stream and dump, forwarded to the analysis.
    ve_isp_tol_program_group stream{};
    second.getProgramGroup(0, stream);
    EXPECT_EQ(stream.kernel_count, 4u);
    log.clear();
    second.dumpKernels(0);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "FOUND  subgraph id 0 [stream_id] dumping 4 kernels:"));
    // A first-version graph after a new-version one answers from itself.
    ASSERT_EQ(second.initKorUtils(v1.get()), err_none);
    second.getProgramGroup(0, stream);
    EXPECT_EQ(stream.kernel_count, 4u);
    EXPECT_EQ(stream.tuning_mode, 0);
    EXPECT_EQ(stream.run_kernels[0].resolution_info_count, 0u);
}

// Kernels whose outputs do not match their settings one to one: "fanout"
// has one sized output for two links (both get it, with warnings), "twice"
// (rcb) feeds two nodes from one port (one info), "deadend" (rcb) feeds
// nothing (no info). 640x480 halved by fanout: 640x480 (0) -> 320x240.
TEST(AnalysisKorData, KernelsWithOutputsUnlikeTheirSettings)
{
    vorn_test::Tree tree = vorn_test::parseTree(R"(<graph_descriptor>
      <source name="buffer_src0" stream_id="1">
        <port name="port_0" id="0" direction="1" width="640" height="480" peer="pg:in"/></source>
      <program_group name="pg" stream_id="0">
        <port name="in" id="0" direction="0" peer="buffer_src0:port_0"/>
        <port name="out" id="1" direction="1" peer="display"/>
        <kernel name="fanout" id="0" pal_uuid="1">
          <input width="640" height="480" left="0" top="0" right="0" bottom="0"/><output width="320" height="240"/>
        </kernel>
        <kernel name="a" id="1" pal_uuid="2"/><kernel name="b" id="2" pal_uuid="3"/><kernel name="c" id="3" pal_uuid="4"/>
        <kernel name="twice" id="4" pal_uuid="5" rcb="1"/><kernel name="deadend" id="5" pal_uuid="6" rcb="1"/>
        <klink source="in" destination="fanout:0"/><klink source="in" destination="deadend:0"/>
        <klink source="fanout:0" destination="a:0"/><klink source="fanout:1" destination="b:0"/>
        <klink source="a:0" destination="twice:0"/><klink source="twice:0" destination="out"/>
        <klink source="twice:0" destination="c:0"/><klink source="c:0" destination="out"/>
        <klink source="b:0" destination="out"/>
      </program_group>
      <sink name="display" stream_id="0" peer="pg:out"/>
      <graph version="gdf-OKT6.1"><connection source="buffer_src0:port_0" sink="pg:in"/>
        <connection source="pg:out" sink="display"/></graph></graph_descriptor>)");
    GraphUtil util;
    LogCapture log;
    ASSERT_EQ(util.init(key_stream_id, tree.get(), GDF_VERSION_OKT6), err_none) << log.dump();
    EXPECT_TRUE(log.has(VE_LOG_WARNING, kTag, "Node fanout settings have 1 res info but node has 2 children"));
    EXPECT_TRUE(log.has(VE_LOG_WARNING, kTag,
                        "Node fanout settings have no output id that matches output port 1 defaulting (iw: 640 ih: "
                        "480 (l: 0, t: 0, r: 0, b: 0),ow: 320, oh: 240 (l: 0, t: 0, r: 0, b: 0)"));
    const Values small = {640, 480, 0, 0, 0, 0, 320, 240, 0, 0, 0, 0};
    const int32_t on = VE_ISP_TOL_KERNEL_ENABLED;
    // Slots in key order: a, b, c, deadend, fanout, twice.
    const ve_isp_tol_program_group pg = korData(util, 0);
    ASSERT_EQ(pg.kernel_count, 6u);
    const ve_isp_tol_run_kernels *k = pg.run_kernels;
    expectRecord(k[0], 2, on, small, {});
    expectRecord(k[2], 4, on, small, {});
    expectRecord(k[3], 6, on, {640, 480, 0, 0, 0, 0, 640, 480, 0, 0, 0, 0}, {});
    expectRecord(k[4], 1, on, {640, 480, 0, 0, 0, 0, 640, 480, 0, 0, 0, 0}, {small, small});
    expectRecord(k[5], 5, on, small, {{320, 240, 0, 0, 0, 0, 320, 240, 0, 0, 0, 0}});
    EXPECT_EQ(fields(innerNode(util, 0, "pg:out").resHistory), small);
    EXPECT_FALSE(log.contains("BUG"));
}
