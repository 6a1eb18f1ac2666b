#include "common.h"
#include "writers.h"

namespace cli {
namespace {

nlohmann::json portJson(const PortModel &port)
{
    nlohmann::json out = {{"name", port.name},   {"direction", port.output ? "out" : "in"}, {"content", port.content},
                          {"peers", port.peers}, {"crosses_context", port.crossesContext},  {"enabled", port.enabled}};
    if (port.hasInfo)
        out["uid"] = port.uid;
    if (port.hasFrame) {
        const FrameInfo &f = port.frame;
        out["frame"] = {{"format", f.format},
                        {"fourcc", fourccText(f.fourcc)},
                        {"width", f.width},
                        {"height", f.height},
                        {"bpp", f.bpp},
                        {"stride", f.stride},
                        {"buffer_size", f.bufferSize}};
    } else if (port.enabled && port.frameWanted) {
        out["format_status"] = port.formatStatus;
    }
    return out;
}

nlohmann::json nodeJson(const NodeModel &node)
{
    nlohmann::json out = {{"name", node.name}, {"type", node.type}};
    const std::pair<const char *, int32_t> numbers[] = {{"pg_id", node.programGroup},
                                                        {"exec_ctx_id", node.context},
                                                        {"stream_id", node.stream},
                                                        {"tuning_mode", node.tuningMode}};
    for (const auto &number : numbers)
        if (number.second >= 0)
            out[number.first] = number.second;
    if (!node.baseNode.empty())
        out["base_node"] = node.baseNode;
    if (node.sink) {
        out["sink"] = {{"content", node.sinkContent}, {"from", node.sinkFrom}, {"size", node.sinkSize}};
        return out;
    }
    if (!node.kernelsOn.empty() || !node.kernelsOff.empty())
        out["kernels"] = {{"on", node.kernelsOn}, {"off", node.kernelsOff}};
    out["ports"] = nlohmann::json::array();
    for (const PortModel &port : node.ports)
        out["ports"].push_back(portJson(port));
    return out;
}

}  // namespace

nlohmann::json graphJson(const GraphModel &graph)
{
    nlohmann::json out = {{"id", graph.id}, {"description", graph.description}, {"settings_key", graph.settingsKey}};
    out["nodes"] = nlohmann::json::array();
    for (const NodeModel &node : graph.nodes)
        out["nodes"].push_back(nodeJson(node));
    return out;
}

void writeJson(const nlohmann::json &value, std::FILE *out)
{
    std::fprintf(out, "%s\n", value.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
}

}  // namespace cli
