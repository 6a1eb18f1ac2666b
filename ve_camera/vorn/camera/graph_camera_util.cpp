// Queries over a result graph: item text, full names, dumps, ports, peers,
// contexts and a few sensor and kernel values.
#include <vorn/graph_camera_util.h>

#include <cstdint>

#include <ve_cipr/ve_cipr.h>
#include <ve_cipr/ve_log_common.h>

#include "log_tags.h"
#include "model/tree.h"
#include "model/decimal_text.h"

namespace Vorn {

status_t getPgAndPortNames(const IGraphConfig *item, std::string &pgName, std::string &portName)
{
    return tree::pgAndPortNames(item, pgName, portName);
}

std::string GraphCameraUtil::getFullName(const IGraphConfig &item) { return tree::fullName(item); }

std::string GraphCameraUtil::print(const IGraphConfig *item) { return tree::printItem(item); }

void GraphCameraUtil::dumpNodeTree(const IGraphConfig *node, int32_t depth)
{
    if (node != nullptr)
        GraphConfigNode::dumpNodeTree(GraphConfigNode::from(node), depth);
}

// --- ports, peers and contexts ---------------------------------------------

namespace {
constexpr const char *kTag = kVornTag;

using tree::hasType;

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}
}  // namespace

IGraphConfig *GraphCameraUtil::nodeGetPortById(const IGraphConfig *node, int32_t id)
{
    if (node == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Couldn't get port. Node is NULL");
        return nullptr;
    }
    IGraphConfig *found = nullptr;
    tree::forEachChildOfType(*node, key_port, [&](IGraphConfig *port) {
        int32_t portId = 0;
        if (port->getValue(key_id, portId) == err_none && portId == id)
            found = port;
        return found == nullptr;
    });
    return found;
}

int32_t GraphCameraUtil::portGetDirection(const IGraphConfig *port)
{
    int32_t direction = 0;
    if (port == nullptr || port->getValue(key_direction, direction) != err_none) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to retrieve port direction, default to input");
        return 0;
    }
    return direction;
}

int32_t GraphCameraUtil::portGetKey(const IGraphConfig *port, KeyId key)
{
    if (port == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Invalid Node, cannot get the port execCtx id");
        return -1;
    }
    std::string type;
    if (port->getValue(key_type, type) != err_none) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to get Node Type");
        return -1;
    }
    const IGraphConfig *owner = port;
    if (type != "sink") {
        owner = port->getAncestor();
        if (owner == nullptr) {
            ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to get port's ancestor");
            return -1;
        }
    }
    int32_t value = -1;
    return owner->getValue(key, value) == err_none ? value : -1;
}

int32_t GraphCameraUtil::portGetExecCtxId(const IGraphConfig *port) { return portGetKey(port, key_exec_ctx_id); }

int32_t GraphCameraUtil::portGetStreamId(const IGraphConfig *port)
{
    const int32_t streamId = portGetKey(port, key_stream_id);
    if (streamId < 0)
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to get %s for port %s", "stream_id", print(port).c_str());
    return streamId;
}

std::string GraphCameraUtil::portGetContentType(const IGraphConfig *port)
{
    std::string contentType;
    if (port == nullptr || port->getValue(key_content_type, contentType) != err_none)
        return "pixel_data";
    return contentType;
}

status_t GraphCameraUtil::portGetPeer(const IGraphConfig *port, IGraphConfig **peer)
{
    if (port == nullptr || peer == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Invalid Node, cannot get the peer port");
        return err_argument;
    }
    int32_t flag = 0;
    if (port->getValue(key_enabled, flag) == err_none && flag == 0)
        return err_noentry;
    if (port->getValue(key_private, flag) == err_none && flag != 0)
        return err_noentry;
    const IGraphConfig *root = port->getRoot();
    if (root == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to get root");
        return err_internal;
    }
    std::string peerName;
    if (port->getValue(key_peer, peerName) != err_none) {
        ve_log_common_debug(VE_LOG_VERBOSE, kTag, "Couldn't find peer value for %s", print(port).c_str());
        return err_argument;
    }
    *peer = root->getDescendantByString(peerName);
    if (*peer == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to find peer by name %s", peerName.c_str());
        return err_argument;
    }
    return err_none;
}

bool GraphCameraUtil::portIsVirtual(const IGraphConfig *port)
{
    if (port == nullptr)
        return false;
    std::string type;
    if (port->getValue(key_type, type) != err_none) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to retrieve port(%s) type, default to input",
                            print(port).c_str());
        return false;
    }
    return type == "sink";
}

bool GraphCameraUtil::isEdgePort(const IGraphConfig *port)
{
    const int32_t direction = portGetDirection(port);
    IGraphConfig *peer = nullptr;
    const status_t status = portGetPeer(port, &peer);
    if (status == err_noentry)
        return false;
    if (status != err_none) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to create fourcc info for source port");
        return false;
    }
    int32_t context = portGetExecCtxId(port);
    if (context < 0)
        context = portGetStreamId(port);
    if (context < 0)
        return false;
    if (portIsVirtual(peer))
        return true;

    const IGraphConfig *peerNode = peer->getAncestor();
    if (peerNode == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to get peer's ancestor");
        return false;
    }
    int32_t peerContext = -1;
    if (peerNode->getValue(key_exec_ctx_id, peerContext) != err_none &&
        peerNode->getValue(key_stream_id, peerContext) != err_none) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to get stream ID of peer PG %s", print(peerNode).c_str());
        return false;
    }
    if (peerContext != context)
        return true;
    // Same context: an input fed straight by hardware or a source still
    // enters the context from outside.
    return direction == 0 && (hasType(peerNode, "hw") || hasType(peerNode, "source"));
}

// --- sensor and kernel values ----------------------------------------------

status_t GraphCameraUtil::sensorGetBinningFactor(const IGraphConfig *sensor, int32_t &horizontal, int32_t &vertical)
{
    if (sensor == nullptr)
        return err_argument;
    status_t status = sensor->getValue(key_h_factor, horizontal);
    if (status != err_none) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Error: Couldn't get horizontal binning factor");
        return status;
    }
    status = sensor->getValue(key_v_factor, vertical);
    if (status != err_none) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Error: Couldn't get vertical binning factor");
        return status;
    }
    return err_none;
}

status_t GraphCameraUtil::sensorGetScalingFactor(const IGraphConfig *sensor, int32_t &numerator, int32_t &denominator)
{
    if (sensor == nullptr)
        return err_argument;
    status_t status = sensor->getValue(key_num_factor, numerator);
    if (status == err_none)
        status = sensor->getValue(key_denom_factor, denominator);
    if (status != err_none) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Error: Couldn't get width scaling num ratio");
        return status;
    }
    return err_none;
}

status_t GraphCameraUtil::getKernelCountInPg(const IGraphConfig *programGroup, uint32_t &count)
{
    if (programGroup == nullptr)
        return err_argument;
    uint32_t kernels = 0;
    tree::forEachChildOfType(*programGroup, key_kernel, [&](IGraphConfig *) { ++kernels; });
    count = kernels;
    return err_none;
}

status_t GraphCameraUtil::kernelGetValues(const IGraphConfig *kernel, int32_t *palUuid, int32_t *id, uint32_t *metadata,
                                          int32_t *enabled, int32_t *rcb, int32_t *branchPoint, int32_t *sinkPort,
                                          size_t metadataWords)
{
    if (kernel == nullptr)
        return err_argument;

    std::string text;
    if (metadata != nullptr && kernel->getValue(key_metadata, text) == err_none) {
        // Every piece is checked before the record is written, so a bad
        // text leaves it as it was.
        uint32_t words[kKernelMetadataWords] = {};
        const size_t capacity = metadataWords < kKernelMetadataWords ? metadataWords : kKernelMetadataWords;
        size_t count = 0;
        size_t start = 0;
        for (;;) {
            size_t comma = text.find(',', start);
            const size_t stop = comma == std::string::npos ? text.size() : comma;
            int32_t number = 0;
            if (count == capacity || !decimalToInt32(text.data() + start, text.data() + stop, number)) {
                ve_log_common_debug(VE_LOG_ERROR, kTag, "Invalid kernel metadata '%s' for %s", text.c_str(),
                                    print(kernel).c_str());
                return err_argument;
            }
            words[count++] = static_cast<uint32_t>(number);
            if (comma == std::string::npos)
                break;
            start = comma + 1;
        }
        for (size_t i = 0; i < count; ++i)
            metadata[i] = words[i];
    }

    if (rcb != nullptr)
        *rcb = tree::intOr(kernel, key_rcb, 0);
    if (branchPoint != nullptr)
        *branchPoint = tree::intOr(kernel, key_branch_point, 0);
    if (enabled != nullptr)
        *enabled = tree::intOr(kernel, key_enabled, 1);
    if (palUuid != nullptr) {
        const status_t status = tree::readOrLog(kernel, key_pal_uuid, *palUuid, kTag, "ERROR: Couldn't get pal_uuid");
        if (status != err_none)
            return status;
    }
    if (id != nullptr) {
        const status_t status = tree::readOrLog(kernel, key_id, *id, kTag, "Couldn't get kernel id");
        if (status != err_none)
            return status;
    }
    if (sinkPort != nullptr)
        *sinkPort = tree::intOr(kernel, key_sink_port, -1);
    return err_none;
}

status_t GraphCameraUtil::sensorGetType(const IGraphConfig *item, std::string &type)
{
    if (item == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Null pointer given");
        return err_argument;
    }
    type = "NONE";
    NodeIterator it(item->getRoot());
    const IGraphConfig *source = it.iterateByType(key_source);
    if (source == nullptr)
        return err_noentry;
    return source->getValue(key_sensor_type, type) == err_none ? err_none : err_noentry;
}

// --- number texts ------------------------------------------------------------

uint8_t *GraphCameraUtil::numString2binary(const std::string &text, uint32_t *size)
{
    if (text.empty() || text[0] < '0' || text[0] > '9')
        return nullptr;
    size_t position = text.find_first_not_of('0');
    if (position == std::string::npos)
        position = text.size();
    const bool hexadecimal = position < text.size() && (text[position] == 'x' || text[position] == 'X');

    size_t first = hexadecimal ? position + 1 : position;
    size_t last = first;
    uint64_t decimal = 0;
    if (hexadecimal) {
        while (last < text.size() && hexDigit(text[last]) >= 0)
            ++last;
    } else {
        for (; last < text.size() && text[last] >= '0' && text[last] <= '9'; ++last) {
            decimal = decimal * 10 + static_cast<uint64_t>(text[last] - '0');
            if (decimal > UINT32_MAX) {
                ve_log_common_debug(VE_LOG_ERROR, kTag, "Number %s does not fit in 32 bits", text.c_str());
                return nullptr;
            }
        }
    }
    const size_t digits = last - first;
    const size_t bytes = hexadecimal ? digits / 2 + 1 : digits * 27214 / 65536 + 1;
    if (bytes > UINT32_MAX)
        return nullptr;

    auto *buffer = static_cast<uint8_t *>(ve_cipr_calloc(bytes, 1, "numString2binary", __FILE__, __LINE__));
    if (buffer == nullptr)
        return nullptr;
    if (size != nullptr)
        *size = static_cast<uint32_t>(bytes);

    if (hexadecimal) {
        // Last digit first: low half of a byte, then its high half.
        for (size_t i = 0; i < digits; ++i) {
            const auto nibble = static_cast<uint8_t>(hexDigit(text[last - 1 - i]));
            buffer[i / 2] = static_cast<uint8_t>(buffer[i / 2] | (i % 2 == 0 ? nibble : nibble << 4));
        }
    } else {
        for (size_t i = 0; i < bytes; ++i) {
            buffer[i] = static_cast<uint8_t>(decimal & 0xffu);
            decimal >>= 8;
        }
    }
    return buffer;
}

void GraphCameraUtil::releaseBinary(uint8_t *buffer) { ve_cipr_free(buffer, "releaseBinary"); }

}  // namespace Vorn
