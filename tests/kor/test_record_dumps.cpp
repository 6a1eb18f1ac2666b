// Kernel records and resolution records as log lines.
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <vorn/vorn.h>

#include "fixture_tree.h"
#include "log_capture.h"

using namespace Vorn;
using vorn_test::LogCapture;

namespace {

ve_isp_tol_resolution_info history = {4000, 3000, {100, 2, 100, 4}, 3800, 2996, {0, 0, 0, 0}};
ve_isp_tol_resolution_info infos[2] = {{3800, 2996, {10, 0, 0, 0}, 1900, 1498, {0, 0, 0, 0}},
                                       {3800, 2996, {0, 0, 0, 0}, 640, 480, {1, 2, 3, 4}}};
const std::string kHistory =
    "(iw: 4000 ih: 3000 (l: 100, t: 2, r: 100, b: 4),ow: 3800, oh: 2996 (l: 0, t: 0, r: 0, b: 0)";
const std::string kInfo0 = "(iw: 3800 ih: 2996 (l: 10, t: 0, r: 0, b: 0),ow: 1900, oh: 1498 (l: 0, t: 0, r: 0, b: 0)";
const std::string kInfo1 = "(iw: 3800 ih: 2996 (l: 0, t: 0, r: 0, b: 0),ow: 640, oh: 480 (l: 1, t: 2, r: 3, b: 4)";

}  // namespace

TEST(RecordDumps, KernelsWithEveryEnableValue)
{
    ve_isp_tol_run_kernels records[4] = {
        {7, 37235, 1, &infos[0], &history, {1, 2, 3, 0xFFFFFFFFu}, {10, 8}, 0, {0, 0}},
        {7, 2205, 0, infos, nullptr, {}, {}, 2, {0, 0}},
        {8, 3, 2, nullptr, nullptr, {}, {}, 0, {0, 0}},
        {8, 4, 3, nullptr, nullptr, {}, {}, 5, {0, 0}},  // a count without records behind it
    };
    const std::string separator = "-------------------------------------------------------";
    LogCapture log;
    TolKorUtils::dumpKernels(records, 4);
    const std::vector<std::string> expected = {
        "kernel_uuid: 37235 [ENABLED (1)]",
        "stream_id 7",
        "metadata: (1 2 3 -1)",
        "res_info: " + kInfo0,
        "resolution_history:" + kHistory,
        "bpp_info in:10 out:8",
        separator,
        "kernel_uuid: 2205 [BYPASS (0)]",
        "stream_id 7",
        "metadata: (0 0 0 0)",
        "res_info[0]: " + kInfo0,
        "res_info[1]: " + kInfo1,
        "res history: NULL",
        "bpp_info in:0 out:0",
        separator,
        "kernel_uuid: 3 [DISABLED (2)]",
        "stream_id 8",
        "metadata: (0 0 0 0)",
        "res info: NULL",
        "res history: NULL",
        "bpp_info in:0 out:0",
        separator,
        "kernel_uuid: 4 [NOT SUPPORTED (3)]",
        "stream_id 8",
        "metadata: (0 0 0 0)",
        "res info: NULL",
        "res history: NULL",
        "bpp_info in:0 out:0",
    };
    std::vector<std::string> texts;
    for (const auto &line : log.lines()) {
        texts.push_back(line.text);
        EXPECT_TRUE(line.level == VE_LOG_ERROR && line.tag == "VORN[XOS]") << line.text;
    }
    EXPECT_EQ(texts, expected);

    log.clear();
    TolKorUtils::dumpKernels(nullptr, 4);
    EXPECT_TRUE(log.lines().empty());
}

TEST(RecordDumps, PortHistoriesAndTheTextBufferOfEachThread)
{
    vorn_test::Tree graph = vorn_test::loadTree("isp_compression.xml");
    LogCapture log;
    TolKorUtils::dumpPortResHistoryMap({{vorn_test::nodeAt(graph, "yuv_pg:out"), history}});
    ASSERT_EQ(log.lines().size(), 2u) << log.dump();
    EXPECT_TRUE(log.has(VE_LOG_VERBOSE, "VORN[XOS]", "dumpPortResHistoryMap"));
    EXPECT_TRUE(log.has(VE_LOG_ERROR, "VORN[XOS]", "port[yuv_pg:out]:" + kHistory));

    const char *mine = TolKorUtils::resInfoToStr(history);
    std::thread([] { TolKorUtils::resInfoToStr(infos[1]); }).join();
    EXPECT_EQ(std::string(mine), kHistory);
}
