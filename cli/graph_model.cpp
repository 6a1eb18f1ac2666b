#include "graph_model.h"

#include <set>

#include "common.h"

namespace cli {
namespace {

using Vorn::GraphCameraUtil;
using Vorn::IGraphConfig;

void completeFrame(uint32_t fourcc, PortModel &model)
{
    VornFormats::ve_format_t entry;
    if (VornFormats::getFormatByFourcc(fourcc, entry) != err_none)
        return;
    FrameInfo &frame = model.frame;
    frame.format = entry.name;
    frame.fourcc = fourcc;
    frame.bufferSize = VornFormats::calculateBufferSize(entry, frame.width, frame.height, frame.stride);
    model.hasFrame = true;
}

// The port's enabled state, uid and, when it should carry frames, its frame.
// portGetFormat reads the enabled state and uid before the format, so such a
// port is read once; only when that fails is the enabled state read on its
// own, to tell a port without them from an enabled port with an incomplete
// format.
void readState(const IGraphConfig *port, PortModel &model)
{
    model.frameWanted = port->getValue(Vorn::key_format, model.formatName) == err_none || model.content == "pixel_data";
    uint32_t enabled = 0, fourcc = 0;
    if (model.frameWanted) {
        FrameInfo &frame = model.frame;
        const Vorn::status_t status = GraphCameraUtil::portGetFormat(port, enabled, model.uid, frame.width,
                                                                     frame.height, fourcc, frame.stride, frame.bpp);
        if (status == err_none) {
            model.hasInfo = true;
            model.enabled = enabled != 0;
            if (model.enabled)
                completeFrame(fourcc, model);
            return;
        }
        model.formatStatus = status;
    }
    model.hasInfo = GraphCameraUtil::portGetInfo(port, enabled, model.uid) == err_none;
    model.enabled = model.hasInfo && enabled != 0;
    if (!model.enabled) {  // the format was never reached
        model.formatStatus = 0;
        model.frame = FrameInfo();
    }
}

PortModel readPort(const IGraphConfig *port, ReadDepth depth)
{
    PortModel model;
    model.name = port->getName();
    int32_t direction = 0;
    integer(port, Vorn::key_direction, direction);
    model.output = direction == 1;
    model.content = GraphCameraUtil::portGetContentType(port);
    model.peers = peersOf(port);
    model.crossesContext = depth == ReadDepth::Full && GraphCameraUtil::isEdgePort(port);
    readState(port, model);
    return model;
}

void readKernels(const IGraphConfig *node, NodeModel &model)
{
    uint32_t count = 0;
    if (GraphCameraUtil::getKernelCountInPg(node, count) != err_none || count == 0)
        return;
    Vorn::NodeIterator kernels(const_cast<IGraphConfig *>(node));
    while (IGraphConfig *kernel = kernels.iterateByType(Vorn::key_kernel)) {
        int32_t enabled = 1;
        const Vorn::status_t status =
            GraphCameraUtil::kernelGetValues(kernel, nullptr, nullptr, nullptr, &enabled, nullptr, nullptr, nullptr);
        (status == err_none && enabled != 0 ? model.kernelsOn : model.kernelsOff).push_back(kernel->getName());
    }
}

NodeModel readNode(const IGraphConfig *node, ReadDepth depth)
{
    NodeModel model;
    model.name = node->getName();
    model.type = text(node, Vorn::key_type, "?");
    model.baseNode = text(node, Vorn::key_base_node);
    integer(node, Vorn::key_pg_id, model.programGroup);
    integer(node, Vorn::key_exec_ctx_id, model.context);
    integer(node, Vorn::key_stream_id, model.stream);
    integer(node, Vorn::key_tuning_mode, model.tuningMode);
    if (model.type == "sink") {
        model.sink = true;
        model.sinkContent = text(node, Vorn::key_content_type, "pixel_data");
        model.sinkFrom = peersOf(node);
        model.sinkFormat = text(node, Vorn::key_format);
        int32_t width = 0, height = 0;
        if (integer(node, Vorn::key_width, width) && integer(node, Vorn::key_height, height))
            model.sinkSize = std::to_string(width) + "x" + std::to_string(height) + " " + text(node, Vorn::key_format);
        return model;
    }
    if (depth == ReadDepth::Full)
        readKernels(node, model);
    Vorn::NodeIterator ports(const_cast<IGraphConfig *>(node));
    while (IGraphConfig *port = ports.iterateByType(Vorn::key_port))
        model.ports.push_back(readPort(port, depth));
    return model;
}

// Nodes in data-flow order: from the sources along the output ports' peers,
// then whatever no connection reaches.
std::vector<const IGraphConfig *> flowOrder(const IGraphConfig *root)
{
    std::vector<IGraphConfig *> sources;
    GraphCameraUtil::getSourceNode(const_cast<IGraphConfig *>(root), sources);
    std::vector<const IGraphConfig *> order;
    std::set<const IGraphConfig *> seen;
    auto visit = [&](const IGraphConfig *node) {
        if (node != nullptr && node->getAncestor() == root && seen.insert(node).second)
            order.push_back(node);
    };
    for (IGraphConfig *source : sources)
        visit(source);
    for (size_t i = 0; i < order.size(); ++i) {
        Vorn::NodeIterator ports(const_cast<IGraphConfig *>(order[i]));
        while (IGraphConfig *port = ports.iterateByType(Vorn::key_port)) {
            int32_t direction = 0;
            if (!integer(port, Vorn::key_direction, direction) || direction != 1)
                continue;
            for (const std::string &peer : peersOf(port)) {
                const IGraphConfig *target = root->getDescendantByString(peer);
                if (target != nullptr && target->getAncestor() != root)
                    target = target->getAncestor();
                visit(target);
            }
        }
    }
    for (const auto &child : Vorn::GraphConfigNode::from(root)->children())
        if (child.second->type == Vorn::ItemType::NODE && child.first != Vorn::key_graph)
            visit(static_cast<const Vorn::GraphConfigNode *>(child.second));
    return order;
}

}  // namespace

GraphModel readGraph(const IGraphConfig *root, int32_t settingsKey, ReadDepth depth)
{
    GraphModel model;
    model.settingsKey = settingsKey;
    const IGraphConfig *graph = root->getDescendant(Vorn::key_graph);
    integer(graph, Vorn::key_id, model.id);
    model.description = text(graph, Vorn::key_description);
    for (const IGraphConfig *node : flowOrder(root))
        model.nodes.push_back(readNode(node, depth));
    return model;
}

}  // namespace cli
