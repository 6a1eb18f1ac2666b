#include <cinttypes>

#include "common.h"
#include "writers.h"

namespace cli {

std::string grouped(uint64_t value)
{
    std::string digits = std::to_string(value);
    for (size_t i = digits.size(); i > 3; i -= 3)
        digits.insert(i - 3, ",");
    return digits;
}

namespace {

std::string joined(const std::vector<std::string> &names, const char *none)
{
    std::string list;
    for (const std::string &name : names)
        list += (list.empty() ? "" : ", ") + name;
    return list.empty() ? none : list;
}

void writePort(const PortModel &port, std::FILE *out)
{
    std::fprintf(out, "    %-9s %-3s %-10s %s %s%s\n", port.name.c_str(), port.output ? "out" : "in",
                 port.content.c_str(), port.output ? "->" : "<-", joined(port.peers, "(not connected)").c_str(),
                 port.crossesContext ? "  [crosses context]" : "");
    if (!port.hasInfo) {
        std::fprintf(out, "              (no port info)\n");
    } else if (!port.enabled) {
        std::fprintf(out, "              %s\n", paint("disabled", "2").c_str());
    } else if (!port.frameWanted) {
        std::fprintf(out, "              enabled, uid 0x%08" PRIx32 ", no frame format (%s buffer)\n", port.uid,
                     port.content.c_str());
    } else if (!port.hasFrame) {
        std::fprintf(out, "              enabled, uid 0x%08" PRIx32 ", %s (status %d)\n", port.uid,
                     paint("format incomplete", "31").c_str(), port.formatStatus);
    } else {
        const FrameInfo &f = port.frame;
        std::fprintf(out,
                     "              %-12s '%s' %4" PRIu32 "x%-4" PRIu32 " %2" PRIu32 " bpp  stride %5" PRIu32
                     "  buffer %s bytes  uid 0x%08" PRIx32 "\n",
                     f.format.c_str(), fourccText(f.fourcc).c_str(), f.width, f.height, f.bpp, f.stride,
                     grouped(f.bufferSize).c_str(), port.uid);
    }
}

void writeNode(const NodeModel &node, std::FILE *out)
{
    std::string facts = node.type;
    if (node.programGroup >= 0)
        facts += ", pg " + std::to_string(node.programGroup);
    if (node.context >= 0)
        facts += ", context " + std::to_string(node.context);
    if (node.stream >= 0)
        facts += ", stream " + std::to_string(node.stream);
    if (node.tuningMode >= 0)
        facts += ", tuning mode " + std::to_string(node.tuningMode);
    if (!node.baseNode.empty())
        facts += ", built from " + node.baseNode;
    std::fprintf(out, "\n  %s  (%s)\n", paint(node.name, "1").c_str(), facts.c_str());
    if (node.sink) {
        std::fprintf(out, "    virtual sink, %s <- %s%s%s\n", node.sinkContent.c_str(),
                     joined(node.sinkFrom, "(nothing)").c_str(), node.sinkSize.empty() ? "" : "  ",
                     node.sinkSize.c_str());
        return;
    }
    if (!node.kernelsOn.empty() || !node.kernelsOff.empty()) {
        std::string on, off;
        for (const std::string &name : node.kernelsOn)
            on += (on.empty() ? "" : " ") + name;
        for (const std::string &name : node.kernelsOff)
            off += (off.empty() ? "" : " ") + name;
        std::fprintf(out, "    kernels   %zu: %s%s%s%s\n", node.kernelsOn.size() + node.kernelsOff.size(), on.c_str(),
                     off.empty() ? "" : "  (off: ", off.c_str(), off.empty() ? "" : ")");
    }
    for (const PortModel &port : node.ports)
        writePort(port, out);
}

}  // namespace

void writeGraphText(const GraphModel &graph, std::FILE *out)
{
    std::fprintf(out, "Result graph %d \"%s\" (settings %d)\n", graph.id, graph.description.c_str(), graph.settingsKey);
    std::fprintf(out, "Nodes, in data-flow order (port, direction, content, peers; then format, size, stride, "
                      "buffer)\n");
    for (const NodeModel &node : graph.nodes)
        writeNode(node, out);
}

}  // namespace cli
