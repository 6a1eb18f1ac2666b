// Generations 4, 6 and 7 have no generation-specific behaviour here: every
// operation answers err_notimplemented at once, touches nothing and logs
// nothing. Callers decide whether that means "nothing to do".
#include <vorn/isp_utils.h>

namespace Vorn {

#define VORN_SILENT_GENERATION(Generation) \
    Generation::~Generation() = default; \
    status_t Generation::getKernelConfigurations(std::vector<KernelConfigContainer> &) { return err_notimplemented; } \
    status_t Generation::applyFormat(const IGraphConfig *, const std::string &) { return err_notimplemented; } \
    status_t Generation::applyCompression(const IGraphConfig *, const std::string &) { return err_notimplemented; }

VORN_SILENT_GENERATION(Okt4IspUtils)
VORN_SILENT_GENERATION(Okt6IspUtils)
VORN_SILENT_GENERATION(Okt7IspUtils)

#undef VORN_SILENT_GENERATION

}  // namespace Vorn
