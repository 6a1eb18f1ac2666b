// Stream chains, routing, MBR limits, stream ids and the source's values.
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

std::vector<std::string> chainText(const TolKorUtils::StreamChain &chain)
{
    std::vector<std::string> out;
    for (const auto &pair : chain)
        out.push_back(std::to_string(pair.first) + " " + GraphCameraUtil::print(pair.second));
    return out;
}

// A graph whose only content is an MBR entry for stream 1 with text value.
std::string mbrGraph(const std::string &value)
{
    return R"(<graph_descriptor><mbr_data><stream_id id="1" value=")" + value + R"("/></mbr_data></graph_descriptor>)";
}

std::string numbers(int count)
{
    std::string text;
    for (int i = 0; i < count; ++i)
        text += (i ? "," : "") + std::to_string(i);
    return text;
}

}  // namespace

TEST(StreamChains, ChainsEndAtTheSourceOrAtAContextAlreadyVisited)
{
    vorn_test::LogCapture log;
    KorGraph g(vorn_test::loadTree("kor_chained.xml"));
    TolKorUtils::StreamChainMap chains;
    ASSERT_EQ(g.kor.getStreamChains(chains), err_none);
    ASSERT_EQ(chains.size(), 2u);  // the statistics sink is not followed
    EXPECT_EQ(chainText(chains[2]),
              (std::vector<std::string>{"2 port[vpp:output]", "1 port[psa:out_a]", "0 port[isa:output]"}));
    EXPECT_EQ(chainText(chains[3]), (std::vector<std::string>{"3 port[tnr:output]", "1 port[psa:out_b]"}));

    IGraphConfig *port = nullptr;
    EXPECT_EQ(g.kor.getUpstreamStreamId(1, &port), 0);
    EXPECT_EQ(port, g.node("isa:output"));
    EXPECT_EQ(g.kor.getUpstreamStreamId(0), -1);
    EXPECT_EQ(g.kor.getUpstreamStreamId(42), -1);
}

TEST(StreamChains, CyclesEndAndSinksWithoutContextFail)
{
    vorn_test::LogCapture log;
    // Contexts 1 and 2 feed each other; the sink hangs on 2.
    KorGraph cycle(vorn_test::parseTree(R"(<graph_descriptor>
      <program_group name="a" stream_id="1"><port name="input" id="0" direction="0" peer="b:out"/>
        <port name="out" id="1" direction="1" peer="b:input"/></program_group>
      <program_group name="b" stream_id="2"><port name="input" id="0" direction="0" peer="a:out"/>
        <port name="out" id="1" direction="1" peer="a:input"/><port name="sink" id="2" direction="1" peer="s"/></program_group>
      <sink name="s" stream_id="2" peer="b:sink"/></graph_descriptor>)"));
    TolKorUtils::StreamChainMap chains;
    ASSERT_EQ(cycle.kor.getStreamChains(chains), err_none);
    EXPECT_EQ(chainText(chains[2]), (std::vector<std::string>{"2 port[b:sink]", "1 port[a:out]", "2 port[b:out]"}));

    KorGraph lost(vorn_test::parseTree(R"(<graph_descriptor><sink name="s"/></graph_descriptor>)"));
    chains.clear();
    EXPECT_EQ(lost.kor.getStreamChains(chains), err_general);
    EXPECT_TRUE(log.has("Sink node lacks exec ctx id attribute - fix your config"));

    TolKorUtils fresh;
    EXPECT_EQ(fresh.getStreamChains(chains), err_internal);
}

TEST(StreamChains, RoutingStreamIdsAndSourceValues)
{
    vorn_test::LogCapture log;
    KorGraph g(vorn_test::loadTree("kor_chained.xml"));
    TolKorUtils::RoutingInfoMap routing;
    ASSERT_EQ(g.kor.getRoutingInfo(routing), err_none);
    ASSERT_EQ(routing.size(), 4u);
    EXPECT_EQ(routing[0], (std::vector<std::pair<int32_t, std::string>>{{10, "0x11"}}));
    EXPECT_EQ(routing[2], (std::vector<std::pair<int32_t, std::string>>{{0, "0"}}));
    EXPECT_TRUE(log.has(VE_LOG_WARNING, "VORN[XOS]", "PG vpp does not have RBM defined default 0"));
    EXPECT_TRUE(log.has("PG vpp does not have PG/CB id defined default to 0"));

    std::vector<int32_t> ids{3};
    ASSERT_EQ(g.kor.getStreamIds(ids, false), err_none);
    EXPECT_EQ(ids, (std::vector<int32_t>{3, 0, 1, 2}));
    ASSERT_EQ(g.kor.getStreamIds(ids, true), err_none);
    EXPECT_EQ(ids, (std::vector<int32_t>{3, 0, 1, 2}));

    std::string tag;
    ASSERT_EQ(g.kor.getSensorCmcId(tag), err_none);
    EXPECT_EQ(tag, "imx_cmc");
    float gain = 0;
    std::string mode;
    ASSERT_EQ(g.kor.getDolInfo(gain, mode), err_none);
    EXPECT_FLOAT_EQ(gain, 2.5f);
    EXPECT_EQ(mode, "dol2");

    // A gain without a mode stays 1; a graph without a source fails.
    KorGraph noMode(
        vorn_test::parseTree(R"(<graph_descriptor><source name="sensor" conversion_gain="2.5"/></graph_descriptor>)"));
    ASSERT_EQ(noMode.kor.getDolInfo(gain, mode), err_none);
    EXPECT_FLOAT_EQ(gain, 1.0f);
    EXPECT_EQ(mode, "");
    EXPECT_EQ(noMode.kor.getSensorCmcId(tag), err_data);
    EXPECT_TRUE(log.has("Error: Couldn't get cmc tag. Check your settings."));
    KorGraph none(vorn_test::parseTree(mbrGraph("1")));
    EXPECT_EQ(none.kor.getDolInfo(gain, mode), err_internal);
    EXPECT_TRUE(log.has("Error: Couldn't find any source (sensor or buf src). Check your settings."));

    // Generation 7 counts compute blocks.
    KorGraph okt7(vorn_test::parseTree(R"(<graph_descriptor><graph version="OKT7"/>
      <compute_block name="c" stream_id="5"/><program_group name="p" stream_id="6"/></graph_descriptor>)"));
    ids.clear();
    okt7.kor.getStreamIds(ids, false);
    EXPECT_EQ(ids, (std::vector<int32_t>{5}));
}

TEST(StreamChains, MbrTextFillsExactlyFiftySixNumbers)
{
    const auto read = [](const std::string &value, ve_view_mbr_limits_t &limits, vorn_test::LogCapture &) {
        KorGraph g(vorn_test::parseTree(mbrGraph(value)));
        return g.kor.getMbrData(1, &limits);
    };
    ve_view_mbr_limits_t limits;
    {
        vorn_test::LogCapture log;
        ASSERT_EQ(read(numbers(56), limits, log), err_none);
        EXPECT_FLOAT_EQ(limits.limits[6][7], 55.0f);
        EXPECT_FALSE(log.contains("MBR data size"));
    }
    {
        vorn_test::LogCapture log;
        ASSERT_EQ(read(numbers(57), limits, log), err_none);
        EXPECT_TRUE(log.has(VE_LOG_WARNING, "VORN[XOS]", "MBR data size (57) does not match expected size (56)"));
        EXPECT_FLOAT_EQ(limits.limits[6][7], 55.0f);
        ASSERT_EQ(read(numbers(56) + ",", limits, log), err_none);  // a final "," adds no piece
    }
    for (const std::string &text : {numbers(16), numbers(55), numbers(17)}) {
        vorn_test::LogCapture log;
        EXPECT_EQ(read(text, limits, log), err_data);
        EXPECT_FLOAT_EQ(limits.limits[1][7], 15.0f);  // complete rows stay
        EXPECT_FLOAT_EQ(limits.limits[2][0], text == numbers(55) ? 16.0f : 0.0f);
    }
    {
        vorn_test::LogCapture log;
        EXPECT_EQ(read("", limits, log), err_data);
        EXPECT_TRUE(log.has("MBR data size (0) does not match expected size (56)"));
        // An inner empty piece or a piece that is not a number.
        EXPECT_EQ(read("1,," + numbers(54), limits, log), err_data);
        EXPECT_EQ(read("x," + numbers(55), limits, log), err_data);
        EXPECT_EQ(read("1e999," + numbers(55), limits, log), err_data);
        EXPECT_FLOAT_EQ(limits.limits[0][1], 0.0f);
    }
    {
        vorn_test::LogCapture log;
        KorGraph g(vorn_test::parseTree(mbrGraph(numbers(56))));
        EXPECT_EQ(g.kor.getMbrData(2, &limits), err_data);
        EXPECT_TRUE(log.has("MBR limits data not found for stream-id 2"));
        EXPECT_EQ(g.kor.getMbrData(1, nullptr), err_internal);
        EXPECT_TRUE(log.has("Error: TolKorUtils not initialized."));
        KorGraph empty(vorn_test::parseTree("<graph_descriptor><x/></graph_descriptor>"));
        EXPECT_EQ(empty.kor.getMbrData(1, &limits), err_data);
        EXPECT_TRUE(log.has("MBR limits data not found at all"));
    }
}
