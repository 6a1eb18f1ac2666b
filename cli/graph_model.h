// A result graph as the writers see it: nodes in data-flow order with their
// ports, peers, enabled state, formats, sizes, strides and buffer sizes.
// Read once from the tree; the text, JSON and Graphviz writers only format it.
#ifndef VORN_CLI_GRAPH_MODEL_H
#define VORN_CLI_GRAPH_MODEL_H

#include <cstdint>
#include <string>
#include <vector>

#include <vorn/vorn.h>

namespace cli {

struct FrameInfo {
    std::string format;  // format-table name
    uint32_t fourcc = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t bpp = 0;
    uint32_t stride = 0;
    uint32_t bufferSize = 0;
};

struct PortModel {
    std::string name;
    bool output = false;
    std::string content;  // content type, "pixel_data" for frames
    std::vector<std::string> peers;
    std::string formatName;  // the "format" the port names, if any
    bool crossesContext = false;
    bool hasInfo = false;  // enabled state and uid could be read
    bool enabled = false;
    uint32_t uid = 0;
    bool hasFrame = false;     // carries frames with a complete format
    bool frameWanted = false;  // should carry frames (pixel data or a named format)
    int32_t formatStatus = 0;  // status of reading the format when incomplete
    FrameInfo frame;
};

struct NodeModel {
    std::string name;
    std::string type;
    std::string baseNode;
    int32_t programGroup = -1;
    int32_t context = -1;
    int32_t stream = -1;
    int32_t tuningMode = -1;
    std::vector<std::string> kernelsOn;
    std::vector<std::string> kernelsOff;
    bool sink = false;
    std::string sinkContent;
    std::vector<std::string> sinkFrom;
    std::string sinkSize;    // "WxH FORMAT" when given
    std::string sinkFormat;  // the "format" the sink names, if any
    std::vector<PortModel> ports;
};

struct GraphModel {
    int32_t id = -1;
    std::string description;
    int32_t settingsKey = -1;
    std::vector<NodeModel> nodes;
};

// How much readGraph reads: everything, or only what `vorn check` inspects
// (names, formats, sizes, peers, enabled state), leaving out the kernels and
// whether ports cross contexts.
enum class ReadDepth { Full, Formats };

GraphModel readGraph(const Vorn::IGraphConfig *root, int32_t settingsKey, ReadDepth depth = ReadDepth::Full);

}  // namespace cli

#endif
