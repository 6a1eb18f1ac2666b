// vorn nvm FILE [--json]: the fields of a calibration blob, or why it does
// not parse.
#include <cstdio>
#include <fstream>
#include <iterator>

#include <nlohmann/json.hpp>
#include <venvm/ve_nvm.h>

#include "commands.h"
#include "common.h"
#include "writers.h"

namespace cli {
namespace {

struct NvmOptions {
    std::string file;
    bool json = false;
};

const char *statusMessage(int32_t status)
{
    switch (status) {
    case VE_NVM_OK:
        return "ok";
    case VE_NVM_ERR_NO_MEMORY:
        return "an allocation failed";
    case VE_NVM_ERR_ARGUMENT:
        return "the blob is too short";
    case VE_NVM_ERR_AF_ORIENTATION:
        return "more than 3 autofocus orientation entries";
    case VE_NVM_ERR_LSC:
        return "lens-shading dimensions or gains out of range";
    case VE_NVM_ERR_AWB:
        return "white-balance sensitivity out of range";
    case VE_NVM_ERR_CRC:
        return "stored checksum does not match";
    case VE_NVM_ERR_VERSION:
        return "version or revision is 0";
    case VE_NVM_ERR_PDAF:
        return "PDAF gain table or DLOM dimension is 0";
    default:
        return "unknown status";
    }
}

template <typename T>
std::vector<uint32_t> values(const T *data, size_t count)
{
    return data != nullptr ? std::vector<uint32_t>(data, data + count) : std::vector<uint32_t>();
}

nlohmann::json describe(const ve_nvm &nvm)
{
    nlohmann::json out;
    out["version"] = nvm.version;
    out["revision"] = nvm.revision;
    out["crc"] = nvm.crc;
    out["vmc_bit_depth"] = nvm.vmc_bit_depth;
    out["aux_byte"] = nvm.aux_byte;
    nlohmann::json af = nlohmann::json::array();
    for (uint32_t i = 0; i < 4; ++i)
        af.push_back(values(nvm.af_data[i], nvm.af_count));
    out["af"] = {{"count", nvm.af_count}, {"data", af}};
    const size_t sources = nvm.light_source_count;
    nlohmann::json awb = nlohmann::json::array();
    for (uint32_t i = 0; i < 4; ++i)
        awb.push_back(values(nvm.awb[i], sources));
    nlohmann::json lsc = nlohmann::json::array();
    for (size_t i = 0; nvm.lsc != nullptr && i < sources; ++i)
        lsc.push_back({{"bit_depth", nvm.lsc[i].bit_depth}});
    out["light_sources"] = {{"count", sources},
                            {"info0", values(nvm.light_source_info0, sources)},
                            {"info1", values(nvm.light_source_info1, sources)},
                            {"awb", awb},
                            {"lsc_width", nvm.lsc_width},
                            {"lsc_height", nvm.lsc_height},
                            {"lsc", lsc}};
    if (nvm.pdaf != nullptr)
        out["pdaf"] = {{"tables", nvm.pdaf->table_count},
                       {"grid_width", nvm.pdaf->grid_width},
                       {"grid_height", nvm.pdaf->grid_height},
                       {"dlom_width", nvm.pdaf->dlom_width},
                       {"dlom_height", nvm.pdaf->dlom_height}};
    if (nvm.tail != nullptr)
        out["tail"] = {{"value32", nvm.tail->value32}, {"value16", nvm.tail->value16}};
    return out;
}

// Text form: one "name: value" line per scalar, arrays joined by spaces.
void printText(const nlohmann::json &value, const std::string &name, int depth)
{
    const std::string indent(static_cast<size_t>(depth) * 2, ' ');
    if (value.is_object()) {
        if (!name.empty())
            std::printf("%s%s\n", indent.c_str(), paint(name, "1").c_str());
        for (auto it = value.begin(); it != value.end(); ++it)
            printText(it.value(), it.key(), name.empty() ? depth : depth + 1);
        return;
    }
    std::string line = value.dump();
    if (value.is_array() && !value.empty() && !value.front().is_object()) {
        line.clear();
        for (const auto &element : value)
            line += (line.empty() ? "" : " ") + element.dump();
    }
    std::printf("%s%s: %s\n", indent.c_str(), name.c_str(), line.c_str());
}

int runNvm(const NvmOptions &options)
{
    std::ifstream in(options.file, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "vorn: %s: cannot be read\n", options.file.c_str());
        return kUsage;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() > UINT32_MAX) {
        std::fprintf(stderr, "vorn: %s: larger than a blob can be\n", options.file.c_str());
        return kUsage;
    }
    ve_nvm_blob blob{bytes.data(), static_cast<uint32_t>(bytes.size())};
    ve_nvm *nvm = nullptr;
    const int32_t status = ve_nvm_parse(&blob, &nvm);
    nlohmann::json out = {{"status", status}, {"message", statusMessage(status)}};
    if (nvm != nullptr)
        out["nvm"] = describe(*nvm);
    ve_nvm_deinit(nvm);
    if (options.json)
        writeJson(out, stdout);
    else
        printText(out, "", 0);
    return status == VE_NVM_OK ? kClean : kProblems;
}

}  // namespace

void addNvmCommand(CLI::App &app, int &status)
{
    auto options = std::make_shared<NvmOptions>();
    CLI::App *command = app.add_subcommand("nvm", "Parse a calibration blob and print its fields, or why it fails");
    command->add_option("FILE", options->file, "The blob read from a camera module's NVM")->required();
    command->add_flag("--json", options->json, "Write JSON");
    command->callback([options, &status] { status = runNvm(*options); });
}

}  // namespace cli
