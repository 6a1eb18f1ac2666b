// Which contexts feed which (stream chains), routing of the program groups,
// MBR limits of a stream, stream ids, and the source's calibration tag and
// dual-exposure settings.
#include <vorn/tol_kor_utils.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <set>

#include <ve_cipr/ve_log_common.h>
#include <vorn/graph_camera_util.h>

#include "camera/subgraph_ports.h"
#include "kor/graph_index.h"
#include "log_tags.h"
#include "model/tree.h"

namespace Vorn {
namespace {

constexpr const char *kTag = kVornTag;
constexpr size_t kMbrValueCount = VE_VIEW_MBR_ROWS * VE_VIEW_MBR_COLUMNS;

// The text as a finite 32-bit float; false for anything else (empty, trailing
// characters, out of range).
bool decimalToFloat(const std::string &text, float &value)
{
    if (text.empty())
        return false;
    const char *begin = text.c_str();
    char *end = nullptr;
    errno = 0;
    const double parsed = std::strtod(begin, &end);
    if (end == begin || *end != '\0' || errno == ERANGE || !std::isfinite(parsed) ||
        std::fabs(parsed) > 3.4028234663852886e38)
        return false;
    value = static_cast<float>(parsed);
    return true;
}

// The pieces of text between ","; an empty last piece is dropped.
std::vector<std::string> splitMbrText(const std::string &text)
{
    std::vector<std::string> pieces;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t comma = text.find(',', start);
        if (comma == std::string::npos) {
            if (start < text.size())
                pieces.push_back(text.substr(start));
            break;
        }
        pieces.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
    return pieces;
}

// Fills limits with the numbers of pieces, eight per row, row after row;
// only complete rows are stored.
status_t fillMbrLimits(const std::vector<std::string> &pieces, ve_view_mbr_limits_t &limits)
{
    float row[VE_VIEW_MBR_COLUMNS];
    for (size_t r = 0; r < VE_VIEW_MBR_ROWS; ++r) {
        for (size_t c = 0; c < VE_VIEW_MBR_COLUMNS; ++c) {
            const size_t i = r * VE_VIEW_MBR_COLUMNS + c;
            if (i >= pieces.size())
                return err_data;
            if (!decimalToFloat(pieces[i], row[c])) {
                ve_log_common_debug(VE_LOG_ERROR, kTag, "MBR value %zu is not a number: '%s'", i, pieces[i].c_str());
                return err_data;
            }
        }
        for (size_t c = 0; c < VE_VIEW_MBR_COLUMNS; ++c)
            limits.limits[r][c] = row[c];
    }
    return err_none;
}

// The root's "sensor", else its "buffer_src0". Null, with status and an
// error line, for an object not initialised or a graph with neither.
const IGraphConfig *sourceOf(const IGraphConfig *root, status_t &status)
{
    status = err_internal;
    if (root == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Error: TolKorUtils not initialized.");
        return nullptr;
    }
    const IGraphConfig *source = root->getDescendant(key_sensor);
    if (source == nullptr)
        source = root->getDescendant(key_buffer_src0);
    if (source == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag,
                            "Error: Couldn't find any source (sensor or buf src). Check your settings.");
        return nullptr;
    }
    status = err_none;
    return source;
}

}  // namespace

// --- the program groups gathered once ------------------------------------------

TolKorUtils::GraphIndex::GraphIndex(const IGraphConfig &root)
{
    tree::forEachChildOfType(root, key_program_group, [&](IGraphConfig *programGroup) {
        programGroups.push_back(programGroup);
        int32_t streamId = 0;
        if (programGroup->getValue(key_stream_id, streamId) == err_none)
            byStreamId[streamId].push_back(programGroup);
        else if (firstWithoutStreamId == nullptr)
            firstWithoutStreamId = programGroup;
    });
}

const std::vector<IGraphConfig *> &TolKorUtils::GraphIndex::streamPgs(int32_t streamId) const
{
    static const std::vector<IGraphConfig *> none;
    const auto found = byStreamId.find(streamId);
    return found != byStreamId.end() ? found->second : none;
}

IGraphConfig *TolKorUtils::GraphIndex::inputPort(int32_t streamId) const
{
    std::vector<IGraphConfig *> ports;
    for (const IGraphConfig *programGroup : streamPgs(streamId))
        appendSubgraphPortsOf(*programGroup, key_stream_id, streamId, 0, key_program_group, ports);
    IGraphConfig *port = nullptr;
    return firstPortWithPeer(ports, &port) == err_none ? port : nullptr;
}

int32_t TolKorUtils::GraphIndex::upstreamStreamId(int32_t streamId, IGraphConfig **port) const
{
    const IGraphConfig *input = inputPort(streamId);
    if (input == nullptr)
        return -1;
    IGraphConfig *peer = nullptr;
    if (GraphCameraUtil::portGetPeer(input, &peer) != err_none || peer == nullptr)
        return -1;
    if (port != nullptr)
        *port = peer;
    const IGraphConfig *upstream = peer->getAncestor();
    int32_t upstreamId = -1;
    if (upstream == nullptr || upstream->getValue(key_stream_id, upstreamId) != err_none)
        return -1;
    return upstreamId;
}

// --- stream chains --------------------------------------------------------------

int32_t TolKorUtils::getUpstreamStreamId(int32_t streamId, IGraphConfig **port)
{
    if (mGraphRoot == nullptr)
        return -1;
    return GraphIndex(*mGraphRoot).upstreamStreamId(streamId, port);
}

status_t TolKorUtils::getStreamChains(StreamChainMap &chains)
{
    if (mGraphRoot == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Error: TolKorUtils not initialized.");
        return err_internal;
    }
    return streamChainsWith(GraphIndex(*mGraphRoot), chains);
}

status_t TolKorUtils::streamChainsWith(const GraphIndex &index, StreamChainMap &chains)
{
    std::set<int32_t> visited;
    status_t status = err_none;
    tree::forEachChildOfType(*mGraphRoot, key_sink, [&](IGraphConfig *sink) {
        if (GraphCameraUtil::portGetContentType(sink) != "pixel_data")
            return true;
        const int32_t ctxId = GraphCameraUtil::portGetStreamId(sink);
        if (ctxId < 0) {
            ve_log_common_debug(VE_LOG_ERROR, kTag, "Sink node lacks exec ctx id attribute - fix your config");
            status = err_general;
            return false;
        }
        const std::string sinkText = GraphCameraUtil::print(sink);
        ve_log_common_debug(VE_LOG_VERBOSE, kTag, "%s is connected to exec-ctx-id %d", sinkText.c_str(), ctxId);
        if (chains.count(ctxId) != 0)
            return true;
        ve_log_common_debug(VE_LOG_VERBOSE, kTag, "Generating stream chain for exec-ctx-id %d", ctxId);
        visited.insert(ctxId);
        IGraphConfig *peer = nullptr;
        if (GraphCameraUtil::portGetPeer(sink, &peer) != err_none || peer == nullptr) {
            ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to find peer port for %s", sinkText.c_str());
            status = err_internal;
            return false;
        }
        StreamChain chain{{ctxId, peer}};
        ve_log_common_debug(VE_LOG_VERBOSE, kTag, "Trying to find upstream contexts from %d", ctxId);
        // Every step either ends the walk or visits a new context, so a
        // cycle of contexts ends at its first repeat.
        for (int32_t current = ctxId;;) {
            IGraphConfig *port = nullptr;
            const int32_t up = index.upstreamStreamId(current, &port);
            if (up < 0)
                break;
            ve_log_common_debug(VE_LOG_VERBOSE, kTag, "Found ctx-id %d, with output %s", up,
                                GraphCameraUtil::print(port).c_str());
            chain.emplace_back(up, port);
            if (!visited.insert(up).second)
                break;
            current = up;
        }
        ve_log_common_debug(VE_LOG_VERBOSE, kTag, "Adding to stream-chain[%d] the following items:", ctxId);
        for (size_t i = 0; i < chain.size(); ++i) {
            ve_log_common_debug(VE_LOG_VERBOSE, kTag, "stream-chain[%lu]: ctx %d - %s", static_cast<unsigned long>(i),
                                chain[i].first, GraphCameraUtil::print(chain[i].second).c_str());
        }
        chains[ctxId] = std::move(chain);
        return true;
    });
    return status;
}

// --- routing and MBR limits -------------------------------------------------------

status_t TolKorUtils::getRoutingInfo(RoutingInfoMap &routing)
{
    routing.clear();
    if (mGraphRoot == nullptr)
        return err_none;
    static const ItemUID rbmPath{key_cipf, key_rbm};
    tree::forEachChildOfType(*mGraphRoot, key_program_group, [&](IGraphConfig *programGroup) {
        const std::string name = programGroup->getName();
        int32_t streamId = 0;
        if (programGroup->getValue(key_stream_id, streamId) != err_none) {
            ve_log_common_debug(VE_LOG_WARNING, kTag, "PG %s does not have stream id defined default to 0",
                                name.c_str());
            streamId = 0;
        }
        int32_t pgId = 0;
        if (programGroup->getValue(key_pg_id, pgId) != err_none) {
            ve_log_common_debug(VE_LOG_WARNING, kTag, "PG %s does not have PG/CB id defined default to 0",
                                name.c_str());
            pgId = 0;
        }
        std::string rbm;
        if (programGroup->getValue(rbmPath, rbm) != err_none) {
            ve_log_common_debug(VE_LOG_WARNING, kTag, "PG %s does not have RBM defined default 0", name.c_str());
            rbm = "0";
        }
        routing[streamId].emplace_back(pgId, rbm);
    });
    return err_none;
}

status_t TolKorUtils::getMbrData(int32_t streamId, ve_view_mbr_limits_t *limits)
{
    if (mGraphRoot == nullptr || limits == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Error: TolKorUtils not initialized.");
        return err_internal;
    }
    *limits = ve_view_mbr_limits_t{};
    IGraphConfig *mbrData = mGraphRoot->getDescendant(key_mbr_data);
    if (mbrData == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "MBR limits data not found at all");
        return err_data;
    }
    NodeIterator it(mbrData);
    while (IGraphConfig *entry = it.iterateByUid(key_stream_id)) {
        int32_t id = 0;
        if (entry->getValue(key_id, id) != err_none) {
            ve_log_common_debug(VE_LOG_ERROR, kTag,
                                "MBR limits data has no stream id associated - check your settings");
            return err_data;
        }
        if (id != streamId)
            continue;
        std::string text;
        const status_t status = entry->getValue(key_value, text);
        if (status != err_none)
            return status;
        const std::vector<std::string> pieces = splitMbrText(text);
        if (pieces.size() != kMbrValueCount) {
            ve_log_common_debug(VE_LOG_WARNING, kTag, "MBR data size (%zu) does not match expected size (%zu)",
                                pieces.size(), kMbrValueCount);
        }
        if (pieces.empty())
            return err_data;
        return fillMbrLimits(pieces, *limits);
    }
    ve_log_common_debug(VE_LOG_ERROR, kTag, "MBR limits data not found for stream-id %d", streamId);
    return err_data;
}

// --- stream ids and source values --------------------------------------------------

status_t TolKorUtils::collectNodesIntAttribute(std::vector<int32_t> &values, KeyId attribute, KeyId nodeType) const
{
    if (mGraphRoot == nullptr)
        return err_none;
    std::set<int32_t> seen(values.begin(), values.end());
    tree::forEachChildOfType(*mGraphRoot, nodeType, [&](IGraphConfig *node) {
        int32_t value = 0;
        if (node->getValue(attribute, value) == err_none && seen.insert(value).second)
            values.push_back(value);
    });
    return err_none;
}

status_t TolKorUtils::getStreamIds(std::vector<int32_t> &ids, bool fromSinks) const
{
    KeyId nodeType = mGdfVersion < GDF_VERSION_OKT7 ? key_program_group : key_compute_block;
    if (fromSinks)
        nodeType = key_sink;
    return collectNodesIntAttribute(ids, key_stream_id, nodeType);
}

status_t TolKorUtils::getSensorCmcId(std::string &cmcTag)
{
    status_t status = err_none;
    const IGraphConfig *source = sourceOf(mGraphRoot, status);
    if (source == nullptr)
        return status;
    cmcTag.clear();
    if (source->getValue(key_cmc_tag, cmcTag) == err_none && !cmcTag.empty())
        return err_none;
    ve_log_common_debug(VE_LOG_ERROR, kTag, "Error: Couldn't get cmc tag. Check your settings.");
    return err_data;
}

status_t TolKorUtils::getDolInfo(float &conversionGain, std::string &dolMode)
{
    status_t status = err_none;
    const IGraphConfig *source = sourceOf(mGraphRoot, status);
    if (source == nullptr)
        return status;
    conversionGain = 1.0f;
    dolMode.clear();
    std::string gainText;
    if (source->getValue(key_conversion_gain, gainText) != err_none || gainText.empty())
        return err_none;
    if (source->getValue(key_dol_mode, dolMode) != err_none || dolMode.empty())
        return err_none;
    float gain = 1.0f;
    if (!decimalToFloat(gainText, gain)) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Conversion gain is not a number: '%s'", gainText.c_str());
        return err_data;
    }
    conversionGain = gain;
    return err_none;
}

}  // namespace Vorn
