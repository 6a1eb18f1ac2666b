// Buffer description of the ports of a result graph: dimensions, crop,
// format, fourcc, stride and the port's hardware uid.
#include <vorn/graph_camera_util.h>

#include <vorn/formats.h>

#include <ve_cipr/ve_log_common.h>

#include "log_tags.h"
#include "model/tree.h"
#include "no_memory.h"

namespace Vorn {

namespace {

constexpr const char *kTag = kVornTag;
constexpr const char *kDefaultFormat = "YUV420_8_SP";

// Reads key from the port, or else from its peer.
template <typename Value>
bool readWithPeerFallback(const IGraphConfig *port, KeyId key, Value &value)
{
    if (port->getValue(key, value) == err_none)
        return true;
    IGraphConfig *peer = nullptr;
    if (GraphCameraUtil::portGetPeer(port, &peer) != err_none || peer == nullptr)
        return false;
    if (peer->getValue(key, value) != err_none)
        return false;
    ve_log_common_debug(VE_LOG_INFO, kTag, "Using the peer's attribute value");
    return true;
}

// Fourcc of the first four characters, the first in the most significant byte.
uint32_t fourccFromName(const std::string &name)
{
    uint32_t code = 0;
    for (size_t i = 0; i < 4; ++i) {
        const uint32_t c = i < name.size() ? static_cast<unsigned char>(name[i]) : 0u;
        code = (code << 8) | c;
    }
    return code;
}

}  // namespace

status_t GraphCameraUtil::getDimensions(const IGraphConfig *port, int32_t *width, int32_t *height, int32_t *left,
                                        int32_t *top, int32_t *right, int32_t *bottom)
try {
    if (port == nullptr)
        return err_argument;
    const struct {
        int32_t *out;
        KeyId key;
        const char *message;
    } reads[] = {
        {width, key_width, "Error: Couldn't get width"},      {height, key_height, "Error: Couldn't get height"},
        {left, key_left, "Error: Couldn't get left crop"},    {top, key_top, "Error: Couldn't get top crop"},
        {right, key_right, "Error: Couldn't get right crop"}, {bottom, key_bottom, "Error: Couldn't get bottom crop"},
    };
    for (const auto &read : reads) {
        if (read.out == nullptr)
            continue;
        if (port->getValue(read.key, *read.out) != err_none) {
            ve_log_common_debug(VE_LOG_ERROR, kTag, "%s", read.message);
            return err_noentry;
        }
    }
    return err_none;
} catch (const std::bad_alloc &) {
    return noMemory("getDimensions");
}

status_t GraphCameraUtil::portGetFourCCInfo(const IGraphConfig *port, uint32_t &base, uint32_t &uid)
try {
    if (port == nullptr)
        return err_argument;
    int32_t id = 0;
    if (port->getValue(key_id, id) != err_none) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to get port(%s) id", print(port).c_str());
        return err_argument;
    }
    const IGraphConfig *owner = port->getAncestor();
    if (owner == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to get port ancestor");
        return err_argument;
    }
    uint32_t portBase = 0;
    int32_t pgId = 0;
    if (owner->getValue(key_pg_id, pgId) == err_none) {
        std::string simulation;
        std::string subsystem;
        uint32_t tag = 0x4730;  // "G0"
        if (owner->getValue(key_simulation, simulation) == err_none && simulation == "true")
            tag = 0x4153;  // "AS"
        else if (owner->getValue(key_subsystem, subsystem) == err_none && subsystem == "gpu")
            tag = 0x4558;  // "EX"
        portBase = (static_cast<uint32_t>(pgId) << 16) | tag;
    }
    base = portBase;
    uid = portBase + static_cast<uint32_t>(id);
    return err_none;
} catch (const std::bad_alloc &) {
    return noMemory("portGetFourCCInfo");
}

status_t GraphCameraUtil::portGetInfo(const IGraphConfig *port, uint32_t &enabled, uint32_t &uid)
try {
    if (port == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Invalid parameter, could not get port format");
        return err_argument;
    }
    ve_log_common_debug(VE_LOG_INFO, kTag, "Getting port info for %s", print(port).c_str());
    int32_t value = 1;
    if (!readWithPeerFallback(port, key_enabled, value))
        value = 1;
    if (value < 0)
        return err_general;
    enabled = static_cast<uint32_t>(value);
    uint32_t base = 0;
    if (portGetFourCCInfo(port, base, uid) != err_none) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Could not get port uid");
        return err_noentry;
    }
    return err_none;
} catch (const std::bad_alloc &) {
    return noMemory("portGetInfo");
}

status_t GraphCameraUtil::portGetFormat(const IGraphConfig *port, uint32_t &enabled, uint32_t &uid, uint32_t &width,
                                        uint32_t &height, uint32_t &fourcc, uint32_t &bpl, uint32_t &bpp)
try {
    status_t status = portGetInfo(port, enabled, uid);
    if (status != err_none)
        return status;
    if (enabled == 0)
        return err_none;

    bool incomplete = false;
    int32_t value = 0;
    if (!readWithPeerFallback(port, key_width, value)) {
        ve_log_common_debug(VE_LOG_INFO, kTag, "Could not find port format info: width");
        incomplete = true;
    } else if (value < 0) {
        return err_general;
    } else {
        width = static_cast<uint32_t>(value);
    }
    if (!readWithPeerFallback(port, key_height, value)) {
        ve_log_common_debug(VE_LOG_INFO, kTag, "Could not find port format info: height");
        incomplete = true;
    } else if (value < 0) {
        return err_general;
    } else {
        height = static_cast<uint32_t>(value);
    }

    std::string name;
    if (!readWithPeerFallback(port, key_format, name)) {
        ve_log_common_debug(VE_LOG_INFO, kTag, "Could not find port format info. port: %s", print(port).c_str());
        incomplete = true;
    } else {
        VornFormats::initVornFormats();
        VornFormats::ve_format_t entry;
        if (VornFormats::getFormatByName(name, entry) != err_none) {
            ve_log_common_debug(VE_LOG_ERROR, kTag,
                                "Error: Couldn't find format %s from the formats XML. Fallback to fourcc.",
                                name.c_str());
            fourcc = fourccFromName(name);
            if (VornFormats::getFormatByFourcc(fourcc, entry) != err_none) {
                ve_log_common_debug(VE_LOG_ERROR, kTag,
                                    "Error: Couldn't find  format by fourcc. Try defaulting to YUV420_8_SP(NV12)");
                status = VornFormats::getFormatByName(kDefaultFormat, entry);
                if (status != err_none) {
                    ve_log_common_debug(VE_LOG_ERROR, kTag,
                                        "Error: Couldn't find default format YUV420_8_SP from the formats XML.");
                    return status;
                }
            }
        }
        fourcc = entry.fourcc;
        bpp = entry.bpp;
        bpl = VornFormats::getBpl(entry, width);
        ve_log_common_debug(VE_LOG_INFO, kTag, "bpl set to %d for %s", static_cast<int>(bpl), entry.name.c_str());
    }

    if (readWithPeerFallback(port, key_bpl, value)) {
        ve_log_common_debug(VE_LOG_INFO, kTag, "Overwriting bpl(%d) from settings %d", static_cast<int>(bpl), value);
        if (value < 0)
            return err_general;
        bpl = static_cast<uint32_t>(value);
    }

    int32_t isPrivate = 0;
    if (readWithPeerFallback(port, key_private, isPrivate) && isPrivate == 1)
        return err_none;
    if (incomplete) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Part of the port configuration is missing!");
        return err_general;
    }
    return err_none;
} catch (const std::bad_alloc &) {
    return noMemory("portGetFormat");
}

std::string GraphCameraUtil::portGetPeerFormat(const IGraphConfig *port)
{
    IGraphConfig *peer = nullptr;
    if (portGetPeer(port, &peer) != err_none || peer == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Could not find peer port - Fix your graph");
        return "";
    }
    ve_log_common_debug(VE_LOG_INFO, kTag, "port: %s, peer: %s", print(port).c_str(), print(peer).c_str());

    std::string name;
    if (peer->getValue(key_format, name) != err_none) {
        IGraphConfig *peersPeer = nullptr;
        if (portGetPeer(peer, &peersPeer) == err_none && peersPeer != nullptr &&
            peersPeer->getValue(key_format, name) == err_none) {
            ve_log_common_debug(VE_LOG_INFO, kTag, "Using the peer's attribute value");
        } else {
            ve_log_common_debug(VE_LOG_INFO, kTag, "Could not find port format info. port: %s", print(peer).c_str());
            name.clear();
        }
    }
    if (!name.empty()) {
        VornFormats::initVornFormats();
        VornFormats::ve_format_t entry;
        if (VornFormats::getFormatByName(name, entry) != err_none)
            ve_log_common_debug(
                VE_LOG_ERROR, kTag,
                "Error: Couldn't find format %s from the formats XML.Try defaulting to YUV420_8_SP(NV12)",
                name.c_str());
    }
    ve_log_common_debug(VE_LOG_INFO, kTag, "Getting port info for %s, format %s", print(port).c_str(), name.c_str());
    return name;
}

status_t GraphCameraUtil::portGetDescriptor(const IGraphConfig *port, PortDescriptor &descriptor)
try {
    if (port == nullptr)
        return err_argument;
    descriptor.enabled = tree::intOr(port, key_enabled, 1);
    if (port->getAncestor() == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Could not get ancestor");
        return err_data;
    }
    if (getPgAndPortNames(port, descriptor.pgName, descriptor.portName) != err_none) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Could not get port(%s) and ancestor(%s)", descriptor.portName.c_str(),
                            descriptor.pgName.c_str());
        return err_data;
    }
    if (port->getValue(key_direction, descriptor.direction) != err_none) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Could not get port direction");
        return err_data;
    }
    uint32_t base = 0;
    if (portGetFourCCInfo(port, base, descriptor.uid) != err_none) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Could not get port uid");
        return err_data;
    }
    if (descriptor.enabled == 0)
        return err_none;

    descriptor.width = 0;
    descriptor.height = 0;
    const IGraphConfig *source = port;
    if (port->getValue(key_width, descriptor.width) != err_none) {
        IGraphConfig *peer = nullptr;
        if (portGetPeer(port, &peer) != err_none || peer == nullptr) {
            ve_log_common_debug(VE_LOG_ERROR, kTag, "Could not find peer port - Fix your graph");
            return err_data;
        }
        if (peer->getValue(key_width, descriptor.width) != err_none) {
            ve_log_common_debug(VE_LOG_ERROR, kTag, "Could not find port portDescriptor info: width (from peer)");
            return err_data;
        }
        source = peer;
    }
    if (source->getValue(key_height, descriptor.height) != err_none) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Could not find port portDescriptor info: height");
        return err_data;
    }
    if (source->getValue(key_format, descriptor.format) != err_none) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Could not find format for port %s", descriptor.portName.c_str());
        return err_data;
    }
    return err_none;
} catch (const std::bad_alloc &) {
    return noMemory("portGetDescriptor");
}

status_t GraphCameraUtil::applyFormat(const IGraphConfig *port, const std::string &format)
try {
    IGraphConfig *peer = nullptr;
    if (portGetPeer(port, &peer) != err_none || peer == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "couldn't find peer for %s", print(port).c_str());
        return err_data;
    }
    status_t status = peer->setValue(key_format, format);
    if (status != err_none && status != err_noentry) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Couldn't set format %s for %s", format.c_str(), print(port).c_str());
        return status;
    }
    return err_none;
} catch (const std::bad_alloc &) {
    return noMemory("applyFormat");
}

}  // namespace Vorn
