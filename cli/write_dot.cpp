// Graphviz form: one cluster per execution context, each node a table of its
// ports (disabled ones grey), edges from output ports to their peers
// labelled with format and size.
#include <map>

#include "common.h"
#include "writers.h"

namespace cli {
namespace {

// Text inside a double-quoted DOT string.
std::string dotString(const std::string &value)
{
    std::string out = "\"";
    for (char c : value) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

// Text inside an HTML-like DOT label.
std::string html(const std::string &value)
{
    std::string out;
    for (char c : value) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string portRow(const PortModel &port, size_t index)
{
    std::string detail = port.output ? "out" : "in";
    if (port.hasFrame)
        detail +=
            " " + port.frame.format + " " + std::to_string(port.frame.width) + "x" + std::to_string(port.frame.height);
    else if (!port.enabled)
        detail += " disabled";
    const char *colour = port.enabled ? "black" : "grey60";
    return "<TR><TD PORT=\"p" + std::to_string(index) + "\" ALIGN=\"LEFT\"><FONT COLOR=\"" + colour + "\">" +
           html(port.name) + "  " + html(detail) + "</FONT></TD></TR>";
}

void writeNode(const NodeModel &node, std::FILE *out, const char *indent)
{
    std::string label = "<<TABLE BORDER=\"0\" CELLBORDER=\"1\" CELLSPACING=\"0\"><TR><TD BGCOLOR=\"lightgrey\"><B>" +
                        html(node.name) + "</B> (" + html(node.type) + ")</TD></TR>";
    for (size_t i = 0; i < node.ports.size(); ++i)
        label += portRow(node.ports[i], i);
    label += "</TABLE>>";
    std::fprintf(out, "%s%s [shape=plaintext label=%s];\n", indent, dotString(node.name).c_str(), label.c_str());
}

// "node:port" as a DOT endpoint (the port's cell when the node has it).
std::string endpoint(const std::map<std::string, const NodeModel *> &nodes, const std::string &peer)
{
    const size_t colon = peer.find(':');
    const std::string name = peer.substr(0, colon);
    const auto found = nodes.find(name);
    if (colon == std::string::npos || found == nodes.end())
        return dotString(name);
    const std::vector<PortModel> &ports = found->second->ports;
    for (size_t i = 0; i < ports.size(); ++i)
        if (ports[i].name == peer.substr(colon + 1))
            return dotString(name) + ":p" + std::to_string(i);
    return dotString(name);
}

void writeEdges(const GraphModel &graph, const std::map<std::string, const NodeModel *> &nodes, std::FILE *out)
{
    for (const NodeModel &node : graph.nodes) {
        for (size_t i = 0; i < node.ports.size(); ++i) {
            const PortModel &port = node.ports[i];
            if (!port.output)
                continue;
            std::string label = port.content;
            if (port.hasFrame)
                label = port.frame.format + "\\n" + std::to_string(port.frame.width) + "x" +
                        std::to_string(port.frame.height);
            const std::string style = port.enabled ? "" : " color=grey60 fontcolor=grey60 style=dashed";
            for (const std::string &peer : port.peers)
                std::fprintf(out, "  %s:p%zu -> %s [label=%s%s];\n", dotString(node.name).c_str(), i,
                             endpoint(nodes, peer).c_str(), dotString(label).c_str(), style.c_str());
        }
    }
}

}  // namespace

void writeGraphDot(const GraphModel &graph, std::FILE *out)
{
    std::map<std::string, const NodeModel *> byName;
    std::map<int32_t, std::vector<const NodeModel *>> byContext;
    for (const NodeModel &node : graph.nodes) {
        byName[node.name] = &node;
        byContext[node.context].push_back(&node);
    }
    std::fprintf(out, "digraph %s {\n  rankdir=LR;\n  node [fontname=\"Helvetica\" fontsize=10];\n",
                 dotString("graph " + std::to_string(graph.id)).c_str());
    std::fprintf(out, "  edge [fontname=\"Helvetica\" fontsize=9];\n  label=%s;\n",
                 dotString(graph.description + " (settings " + std::to_string(graph.settingsKey) + ")").c_str());
    for (const auto &context : byContext) {
        const bool cluster = context.first >= 0;
        if (cluster)
            std::fprintf(out, "  subgraph cluster_context_%d {\n    label=\"execution context %d\";\n", context.first,
                         context.first);
        for (const NodeModel *node : context.second)
            writeNode(*node, out, cluster ? "    " : "  ");
        if (cluster)
            std::fprintf(out, "  }\n");
    }
    writeEdges(graph, byName, out);
    std::fprintf(out, "}\n");
}

}  // namespace cli
