// Generation 5: the forced kernel settings and the compression rule.
#include <vorn/isp_utils.h>

#include <new>

#include <ve_cipr/ve_log_common.h>
#include <vorn/formats.h>
#include <vorn/graph_camera_util.h>

#include "log_tags.h"
#include "model/tree.h"

namespace Vorn {
namespace {

constexpr const char *kTag = kVornTag;

// Without stabilisation this kernel is switched off.
constexpr uint32_t kDvsOnlyKernelUuid = 37235;

// The ports of a program group that hold its temporal-noise-reduction
// reference frames.
bool isTnrPort(const IGraphConfig &port)
{
    const std::string name = port.getName();
    return name == "tnr_output" || name == "tnr_input";
}

// The peer of port; logs and returns the failure when there is none.
status_t peerOf(const IGraphConfig *port, IGraphConfig *&peer)
{
    const status_t status = GraphCameraUtil::portGetPeer(port, &peer);
    if (status != err_none) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "couldn't find peer for %s, cannot apply format.",
                            GraphCameraUtil::print(port).c_str());
    }
    return status;
}

// Sets item's "format" (through its options list); logs a failure.
status_t setFormat(IGraphConfig &item, const std::string &format)
{
    const status_t status = item.setValue(key_format, format);
    if (status != err_none) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Couldn't set format %s for %s", format.c_str(),
                            GraphCameraUtil::print(&item).c_str());
    }
    return status;
}

// The name of the table entry with this fourcc.
status_t formatName(uint32_t fourcc, std::string &name)
{
    VornFormats::ve_format_t entry;
    const status_t status = VornFormats::getFormatByFourcc(fourcc, entry);
    if (status == err_none)
        name = entry.name;
    return status;
}

// Every public input of the program group asks its feeder for the planar
// compressed format; its TNR ports take the compressed reference format.
// applyFormat is called through utils, so a subclass's rule applies.
status_t compressProgramGroupPorts(IspUtils &utils, IGraphConfig &programGroup, const std::string &planarFormat)
{
    status_t status = err_none;
    tree::forEachChildOfType(programGroup, key_port, [&](IGraphConfig *child) {
        const bool publicInput =
            tree::intOr(child, key_private, 0) == 0 && GraphCameraUtil::portGetDirection(child) == 0;
        if (publicInput)
            utils.applyFormat(child, planarFormat);  // logs its own failure
        if (!isTnrPort(*child))
            return true;
        std::string tnrFormat;
        status = formatName(VE_FOURCC_CT12, tnrFormat);
        if (status == err_none)
            status = setFormat(*child, tnrFormat);
        return status == err_none;
    });
    return status;
}

}  // namespace

Okt5IspUtils::~Okt5IspUtils() = default;

status_t Okt5IspUtils::getKernelConfigurations(std::vector<KernelConfigContainer> &configs)
{
    if (mGraphSettings == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "vorn isp utils uninitialized");
        return err_general;
    }
    if (getOktVersion() != GDF_VERSION_OKT5 || isDvsEnabled())
        return err_none;
    KernelConfigContainer disable{};
    disable.applyMask = KernelConfigContainer::kApplyEnable;
    disable.kernelUuid = kDvsOnlyKernelUuid;
    disable.enable = 2;
    try {
        configs.push_back(disable);
    } catch (const std::bad_alloc &) {
        return err_nomemory;
    }
    return err_none;
}

status_t Okt5IspUtils::applyFormat(const IGraphConfig *port, const std::string &format)
{
    IGraphConfig *peer = nullptr;
    const status_t found = peerOf(port, peer);
    if (found != err_none)
        return found;
    // A peer without a "format" options list (err_noentry) is left as it is.
    const status_t status = peer->setValue(key_format, format);
    if (status == err_none || status == err_noentry)
        return err_none;
    ve_log_common_debug(VE_LOG_ERROR, kTag, "Couldn't set format %s for %s", format.c_str(),
                        GraphCameraUtil::print(peer).c_str());
    return status;
}

status_t Okt5IspUtils::applyCompression(const IGraphConfig *port, const std::string &format)
{
    if (!VornFormats::isCompressedFormat(format)) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Trying to apply compression with non-compressed format %s",
                            format.c_str());
        return err_argument;
    }
    IGraphConfig *peer = nullptr;
    status_t status = peerOf(port, peer);
    if (status != err_none)
        return status;
    IGraphConfig *programGroup = peer->getAncestor();
    if (programGroup == nullptr || !tree::hasType(programGroup, key_program_group))
        return err_data;

    VornFormats::initVornFormats();
    std::string planarFormat;
    status = formatName(VE_FOURCC_CIYU, planarFormat);
    if (status != err_none)
        return status;
    status = compressProgramGroupPorts(*this, *programGroup, planarFormat);
    if (status != err_none)
        return status;
    return setFormat(*peer, format);
}

}  // namespace Vorn
