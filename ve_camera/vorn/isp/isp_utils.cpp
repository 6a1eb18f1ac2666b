// Generation detection and what every generation shares.
#include <vorn/isp_utils.h>

#include <new>

#include <ve_cipr/ve_log_common.h>

#include "isp/generation_strings.h"
#include "library_init.h"
#include "log_tags.h"
#include "model/tree.h"

namespace Vorn {
namespace detail {

__attribute__((init_priority(101))) std::string OKT_VER_5;
__attribute__((init_priority(101))) std::string OKT_VER_6;
__attribute__((init_priority(101))) std::string OKT_VER_7;

void initGenerationStrings()
{
    OKT_VER_5 = "OKT5";
    OKT_VER_6 = "OKT6";
    OKT_VER_7 = "OKT7";
}

}  // namespace detail

namespace {

constexpr const char *kTag = kVornTag;

// The generation a version text names: the first of "OKT5", "OKT6", "OKT7"
// (in that order) that it contains anywhere, case-sensitively.
GdfVersion detectGeneration(const std::string &version)
{
    const struct {
        const std::string &name;
        GdfVersion generation;
    } generations[] = {
        {detail::OKT_VER_5, GDF_VERSION_OKT5},
        {detail::OKT_VER_6, GDF_VERSION_OKT6},
        {detail::OKT_VER_7, GDF_VERSION_OKT7},
    };
    for (const auto &candidate : generations) {
        if (version.find(candidate.name) != std::string::npos)
            return candidate.generation;
    }
    return GDF_VERSION_NONE;
}

template <typename Generation>
std::shared_ptr<IspUtils> create(const IGraphConfig *graphSettings, GdfVersion generation)
{
    return std::make_shared<Generation>(graphSettings, generation);
}

}  // namespace

IspUtils::~IspUtils() = default;
IspUtilsCommon::~IspUtilsCommon() = default;

std::shared_ptr<IspUtils> IspUtils::Factory(const IGraphConfig *graphSettings)
{
    if (graphSettings == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Given pointer is null. VORN Isp Utils not initialized.");
        return nullptr;
    }
    std::string version;
    try {
        graphSettings->getValue(ItemUID{key_graph, key_version}, version);
        const GdfVersion generation = detectGeneration(version);
        ve_log_common_debug(VE_LOG_VERBOSE, kTag, "Detected OKT version in the graph: %s enum[%d]", version.c_str(),
                            static_cast<int>(generation));
        switch (generation) {
        case GDF_VERSION_OKT5:
            return create<Okt5IspUtils>(graphSettings, generation);
        case GDF_VERSION_OKT6:
            return create<Okt6IspUtils>(graphSettings, generation);
        case GDF_VERSION_OKT7:
            return create<Okt7IspUtils>(graphSettings, generation);
        case GDF_VERSION_NONE:
            break;
        }
        ve_log_common_debug(VE_LOG_ERROR, kTag, "OKT version not supported in VORN Isp Utils.");
        return create<Okt4IspUtils>(graphSettings, GDF_VERSION_NONE);
    } catch (const std::bad_alloc &) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Out of memory creating VORN Isp Utils.");
        return nullptr;
    }
}

bool IspUtilsCommon::isDvsEnabled() const
{
    if (mGraphSettings == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "vorn isp utils uninitialized");
        return true;
    }
    return tree::intOr(mGraphSettings, key_dvs, 0) != 0;
}

}  // namespace Vorn
