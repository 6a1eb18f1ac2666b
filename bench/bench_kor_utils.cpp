// Kernel-list generation (initKorUtils) over first-version result graphs of
// growing size: 8, 32, 128 and 512 execution contexts in one chain, each of
// two program groups of 8 kernels (128 to 8,192 kernels).
//
// Every context takes the image from the previous one and hands it on; its
// first group crops and scales, its second has a branch point, a restore
// point, a sink port to the next context and one to a virtual sink of its
// own. The time includes construction and destruction of the TolKorUtils,
// so it covers allocation and release of every record. The work per kernel
// should stay flat as the graph grows: the summary prints the time per
// kernel and its growth against the previous size (1.00 is linear).
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include <vorn/vorn.h>

#include "best_run_reporter.h"

namespace {

constexpr int kSizes[] = {8, 32, 128, 512};  // execution contexts
constexpr int kKernelsPerGroup = 8;
constexpr int kGroupsPerContext = 2;

// Kernels 0..7 of the first group of context c: kernel 2 crops 8 pixels a
// side, kernel 5 halves the image.
std::string firstGroupKernels(int c)
{
    std::string text;
    for (int k = 0; k < kKernelsPerGroup; ++k) {
        text += "<kernel name=\"k" + std::to_string(k) + "\" id=\"" + std::to_string(k) + "\" pal_uuid=\"" +
                std::to_string(1000 + k) + "\" metadata=\"" + std::to_string(c) + "\"";
        if (k == 2) {
            text += R"(><input width="4000" height="3000" left="8" top="8" right="8" bottom="8" bpp="10"/>)"
                    R"(<output width="3984" height="2984" bpp="10"/></kernel>)";
        } else if (k == 5) {
            text += R"(><input width="3984" height="2984" left="0" top="0" right="0" bottom="0"/>)"
                    R"(<output width="1992" height="1492"/></kernel>)";
        } else if (k == kKernelsPerGroup - 1) {
            text += " sink_port=\"1\"/>";
        } else {
            text += " rcb=\"" + std::to_string(k % 2) + "\"/>";
        }
    }
    return text;
}

// Kernels of the second group: a branch point at 1, a sink to the virtual
// sink at 3, a restore point at 4 and the sink to the next context last.
std::string secondGroupKernels()
{
    std::string text;
    for (int k = 0; k < kKernelsPerGroup; ++k) {
        text += "<kernel name=\"k" + std::to_string(k) + "\" id=\"" + std::to_string(k) + "\" pal_uuid=\"" +
                std::to_string(2000 + k) + "\"";
        if (k == 1)
            text += " branch_point=\"1\"";
        if (k == 3)
            text += " sink_port=\"3\"";
        if (k == 4)
            text += " restore_point=\"1\"";
        if (k == kKernelsPerGroup - 1)
            text += " sink_port=\"2\"";
        text += "/>";
    }
    return text;
}

std::string makeGraph(int contexts)
{
    std::string text = R"(<graph_descriptor><source name="sensor" width="4000" height="3000">)"
                       R"(<pixel_array><input width="4000" height="3000" left="0" top="0"/>)"
                       R"(<output width="4000" height="3000"/></pixel_array>)"
                       R"(<port name="port_0" id="0" direction="1" peer="csi:port_in"/></source>)"
                       R"(<hw name="csi"><port name="port_in" id="0" direction="0" peer="sensor:port_0"/>)"
                       R"(<port name="port_out" id="1" direction="1" peer="a0:input"/>)"
                       R"(<stream2mmio><input width="4000" height="3000" left="0" top="0" right="0" bottom="0"/>)"
                       R"(</stream2mmio><output width="4000" height="3000"/></hw>)";
    for (int c = 0; c < contexts; ++c) {
        const std::string id = std::to_string(c);
        const std::string feeder = c == 0 ? "csi:port_out" : "b" + std::to_string(c - 1) + ":next";
        text += "<program_group name=\"a" + id + "\" stream_id=\"" + id +
                "\"><port name=\"input\" id=\"0\" "
                "direction=\"0\" peer=\"" +
                feeder + "\"/><port name=\"output\" id=\"1\" direction=\"1\" peer=\"b" + id + ":input\"/>" +
                firstGroupKernels(c) + "</program_group>";
        text += "<program_group name=\"b" + id + "\" stream_id=\"" + id +
                "\"><port name=\"input\" id=\"0\" "
                "direction=\"0\" peer=\"a" +
                id + ":output\"/>";
        if (c + 1 < contexts)
            text += "<port name=\"next\" id=\"2\" direction=\"1\" peer=\"a" + std::to_string(c + 1) + ":input\"/>";
        else
            text += R"(<port name="next" id="2" direction="1" enabled="0"/>)";
        text += "<port name=\"view\" id=\"3\" direction=\"1\" peer=\"view" + id + "\"/>" + secondGroupKernels() +
                "</program_group><sink name=\"view" + id + "\" stream_id=\"" + id + "\" peer=\"b" + id + ":view\"/>";
    }
    return text + "</graph_descriptor>";
}

struct Input {
    int contexts = 0;
    std::unique_ptr<Vorn::IGraphConfig> graph;
    size_t kernels = 0;
};

Input &inputFor(int contexts)
{
    static std::vector<std::unique_ptr<Input>> inputs;
    for (auto &input : inputs)
        if (input->contexts == contexts)
            return *input;
    inputs.clear();  // one size alive at a time
    auto input = std::make_unique<Input>();
    input->contexts = contexts;
    const std::string text = makeGraph(contexts);
    Vorn::VornParser parser;
    Vorn::IGraphConfig *tree = nullptr;
    parser.parseVornXmlData(text.data(), text.size(), &tree);
    input->graph.reset(tree);
    input->kernels = static_cast<size_t>(contexts) * kGroupsPerContext * kKernelsPerGroup;
    inputs.push_back(std::move(input));
    return *inputs.back();
}

// Checks one initialisation before timing: every context filled, the last
// context's first kernel fed with the halved image of the one before.
std::string check(const Input &input)
{
    if (input.graph == nullptr)
        return "graph did not load";
    Vorn::TolKorUtils kor;
    if (kor.initKorUtils(input.graph.get()) != err_none)
        return "initKorUtils failed";
    for (int c = 0; c < input.contexts; ++c) {
        ve_isp_tol_program_group group{};
        kor.getProgramGroup(c, group);
        const uint32_t expected = kGroupsPerContext * kKernelsPerGroup + (c == 0 ? 1 : 0);
        if (group.kernel_count != expected)
            return "context " + std::to_string(c) + " has " + std::to_string(group.kernel_count) + " kernels";
    }
    return "";
}

void BM_InitKorUtils(benchmark::State &state)
{
    Input &input = inputFor(static_cast<int>(state.range(0)));
    const std::string error = check(input);
    if (!error.empty()) {
        state.SkipWithError(error.c_str());
        return;
    }
    for (auto _ : state) {
        Vorn::TolKorUtils kor;
        benchmark::DoNotOptimize(kor.initKorUtils(input.graph.get()));
    }
    state.counters["kernels"] = static_cast<double>(input.kernels);
}

void printSummary(const vornbench::BestRunReporter &reporter)
{
    std::printf("\n%10s %10s %14s %16s %8s\n", "contexts", "kernels", "init (ms)", "per kernel (us)", "growth");
    double previous = 0;
    for (int contexts : kSizes) {
        const vornbench::BestRun *run = reporter.find("BM_InitKorUtils_" + std::to_string(contexts));
        if (run == nullptr)
            continue;
        const double kernels = run->counters.count("kernels") ? run->counters.at("kernels") : 0;
        const double perKernel = kernels > 0 ? run->cpuSeconds / kernels * 1e6 : 0;
        if (previous > 0)
            std::printf("%10d %10.0f %14.3f %16.3f %8.2f\n", contexts, kernels, run->cpuSeconds * 1e3, perKernel,
                        perKernel / previous);
        else
            std::printf("%10d %10.0f %14.3f %16.3f %8s\n", contexts, kernels, run->cpuSeconds * 1e3, perKernel, "-");
        previous = perKernel;
    }
}

}  // namespace

int main(int argc, char **argv)
{
    for (int contexts : kSizes)
        benchmark::RegisterBenchmark(("BM_InitKorUtils_" + std::to_string(contexts)).c_str(), BM_InitKorUtils)
            ->Arg(contexts)
            ->Unit(benchmark::kMillisecond)
            ->ComputeStatistics("min", vornbench::minimumOf);
    return vornbench::runWithSummary(argc, argv, printSummary);
}
