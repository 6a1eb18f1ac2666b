// vorn kernels DESCRIPTOR SETTINGS (--key N | key=value...) [--json]: the
// run kernels of every execution context, program group by program group,
// with the image each kernel receives.
#include <algorithm>
#include <cstdio>

#include <nlohmann/json.hpp>

#include "commands.h"
#include "session.h"
#include "writers.h"

namespace cli {
namespace {

struct KernelsOptions {
    std::string descriptor;
    std::string settings;
    EntryChoice choice;
    bool json = false;
};

const char *stateText(int32_t enable)
{
    switch (enable) {
    case VE_ISP_TOL_KERNEL_BYPASS:
        return "bypass";
    case VE_ISP_TOL_KERNEL_ENABLED:
        return "on";
    case VE_ISP_TOL_KERNEL_DISABLED:
        return "off";
    default:
        return "?";
    }
}

nlohmann::json resolutionJson(const ve_isp_tol_resolution_info *info)
{
    if (info == nullptr)
        return nullptr;
    return {{"input_width", info->input_width},
            {"input_height", info->input_height},
            {"crop", {info->input_crop.left, info->input_crop.top, info->input_crop.right, info->input_crop.bottom}},
            {"output_width", info->output_width},
            {"output_height", info->output_height}};
}

// Every resolution info of a kernel: one per output of a kernel that crops
// or scales, none when it has none.
nlohmann::json resolutionsJson(const ve_isp_tol_run_kernels &kernel)
{
    nlohmann::json infos = nlohmann::json::array();
    if (kernel.resolution_info == nullptr)
        return infos;
    for (uint32_t i = 0; i < kernel.resolution_info_count; ++i)
        infos.push_back(resolutionJson(&kernel.resolution_info[i]));
    return infos;
}

nlohmann::json programGroupJson(Vorn::TolKorUtils &kor, const Vorn::IGraphConfig *node)
{
    ve_isp_tol_program_group group{};
    nlohmann::json kernels = nlohmann::json::array();
    if (kor.getProgramGroup(node, group) == err_none) {
        for (uint32_t i = 0; i < group.kernel_count; ++i) {
            const ve_isp_tol_run_kernels &k = group.run_kernels[i];
            // The position in the group's record array: the kernel id on
            // first-version graphs, the program group's child order on
            // new-version ones.
            kernels.push_back({{"index", i},
                               {"uuid", k.kernel_uuid},
                               {"state", stateText(k.enable)},
                               {"input_bpp", k.bpp_info.input_bpp},
                               {"output_bpp", k.bpp_info.output_bpp},
                               {"history", resolutionJson(k.resolution_history)},
                               {"resolutions", resolutionsJson(k)}});
        }
    }
    return {{"name", node->getName()}, {"kernels", kernels}};
}

// Streams in ascending order, each with its program groups (or compute
// blocks) in tree order.
nlohmann::json kernelLists(Vorn::TolKorUtils &kor, const Vorn::IGraphConfig *graph)
{
    std::vector<int32_t> streams;
    kor.getStreamIds(streams, false);
    std::sort(streams.begin(), streams.end());
    nlohmann::json out = nlohmann::json::array();
    for (int32_t stream : streams) {
        ve_isp_tol_program_group context{};
        kor.getProgramGroup(stream, context);
        nlohmann::json groups = nlohmann::json::array();
        for (const Vorn::IGraphConfig *node : kernelGroups(graph)) {
            int32_t id = -1;
            if (integer(node, Vorn::key_stream_id, id) && id == stream)
                groups.push_back(programGroupJson(kor, node));
        }
        out.push_back({{"stream", stream}, {"run_kernels", context.kernel_count}, {"program_groups", groups}});
    }
    return out;
}

std::string resolutionText(const nlohmann::json &info)
{
    if (info.is_null())
        return "-";
    char line[96];
    std::snprintf(line, sizeof line, "%dx%d [%d %d %d %d] -> %dx%d", info["input_width"].get<int>(),
                  info["input_height"].get<int>(), info["crop"][0].get<int>(), info["crop"][1].get<int>(),
                  info["crop"][2].get<int>(), info["crop"][3].get<int>(), info["output_width"].get<int>(),
                  info["output_height"].get<int>());
    return line;
}

void printText(const nlohmann::json &streams)
{
    for (const auto &stream : streams) {
        std::printf("stream %d: %u run kernels\n", stream["stream"].get<int>(), stream["run_kernels"].get<unsigned>());
        for (const auto &group : stream["program_groups"]) {
            std::printf("  %s (%zu kernels)\n", paint(group["name"].get<std::string>(), "1").c_str(),
                        group["kernels"].size());
            std::printf("    %-5s %-6s %-6s %-7s %-40s %s\n", "index", "uuid", "state", "bpp",
                        "image reaching it (source [crop] -> size)", "output");
            for (const auto &k : group["kernels"]) {
                const std::string bpp = std::to_string(k["input_bpp"].get<unsigned>()) + "/" +
                                        std::to_string(k["output_bpp"].get<unsigned>());
                std::string output;
                for (const auto &info : k["resolutions"]) {
                    if (!output.empty())
                        output += ", ";
                    output += std::to_string(info["output_width"].get<int>()) + "x" +
                              std::to_string(info["output_height"].get<int>());
                }
                std::printf("    %-5u %-6u %-6s %-7s %-40s %s\n", k["index"].get<unsigned>(), k["uuid"].get<unsigned>(),
                            k["state"].get<std::string>().c_str(), bpp.c_str(), resolutionText(k["history"]).c_str(),
                            output.c_str());
            }
        }
    }
}

int runKernels(KernelsOptions &options)
{
    Session session;
    std::unique_ptr<ResultGraph> built;
    const int opened = session.buildChosen(options.descriptor, options.settings, options.choice, built);
    if (opened != kClean)
        return opened;
    const ResultGraph &result = *built;
    Vorn::TolKorUtils kor;
    const Vorn::status_t status = kor.initKorUtils(result.root());
    takeLogLines();
    if (status != err_none) {
        std::fprintf(stderr, "vorn: the kernel lists could not be built (initKorUtils returned %d)\n", status);
        return kProblems;
    }
    const nlohmann::json streams = kernelLists(kor, result.root());
    if (options.json)
        writeJson(streams, stdout);
    else
        printText(streams);
    return kClean;
}

}  // namespace

void addKernelsCommand(CLI::App &app, int &status)
{
    auto options = std::make_shared<KernelsOptions>();
    CLI::App *command = app.add_subcommand("kernels", "Print the run kernels of a result graph per execution context");
    addGraphArguments(*command, options->descriptor, options->settings, &options->choice);
    command->add_flag("--json", options->json, "Write JSON");
    command->callback([options, &status] { status = runKernels(*options); });
}

}  // namespace cli
