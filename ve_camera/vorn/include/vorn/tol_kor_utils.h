// Kernel lists for the ISP-parameter component: the kernel-value readers and
// the record dumps that every kernel-list generator shares.
#ifndef VORN_TOL_KOR_UTILS_H
#define VORN_TOL_KOR_UTILS_H

#include <cstdint>
#include <map>
#include <string>

#include <vorn/graph_config.h>
#include <vorn/status.h>
#include <vorn/ve_isp_records.h>
#include <vorn/vorn_api.h>

namespace Vorn {

class VORN_API TolKorUtils {
public:
    // The image as it leaves each sink port of an execution context.
    using PortResHistoryMap = std::map<const IGraphConfig *, ve_isp_tol_resolution_info>;

    // --- reading a kernel node ------------------------------------------------

    // Reads the values of a kernel; every out-pointer may be null and is then
    // skipped. In this order: metadata (the comma-separated decimal numbers
    // of "metadata" into its four words, untouched when missing; more than
    // four numbers, or a piece that is not a 32-bit number, is err_argument
    // with nothing written), rcb (0 when missing), branch point (0), restore
    // point (-1), enable (1), pal uuid and id (missing: an error line and the
    // read's status, the values before it stored), sink port (-1).
    static status_t kernelGetValues(const IGraphConfig *kernel, int32_t *palUuid, int32_t *id, uint32_t *metadata,
                                    int32_t *enable, int32_t *rcb, int32_t *branchPoint, int32_t *sinkPort,
                                    int32_t *restorePoint);
    // The integer "bpp" of the kernel's "input" and "output" nodes into the
    // record's bpp_info (0 when a node has none; a missing node leaves its
    // field). Always err_none.
    static status_t kernelGetBppInfo(const IGraphConfig *kernel, ve_isp_tol_run_kernels &record);

    // --- dumps (error level, except where said) --------------------------------

    // The record as one line of text, in a buffer of this thread that the
    // next call on the same thread overwrites.
    static const char *resInfoToStr(const ve_isp_tol_resolution_info &info);
    // "<label>:<record text>".
    static void dumpResHistory(const ve_isp_tol_resolution_info &info, const std::string &label);
    // The kernel's resolution record(s); nothing when it has none.
    static void dumpResInfo(const ve_isp_tol_run_kernels &record);
    // Every record of the array; nothing for a null array.
    static void dumpKernels(const ve_isp_tol_run_kernels *records, uint32_t count);
    // A verbose header line, then each port's history labelled with the port.
    static void dumpPortResHistoryMap(const PortResHistoryMap &histories);
};

}  // namespace Vorn

#endif
