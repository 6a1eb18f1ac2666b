// Kernel lists for the ISP-parameter component: per execution context and
// per program group, the run-kernel records with their resolution histories,
// built from a result graph; the stream chains, routing and MBR data of that
// graph; and the kernel-value readers and record dumps that every
// kernel-list generator shares.
#ifndef VORN_TOL_KOR_UTILS_H
#define VORN_TOL_KOR_UTILS_H

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <vorn/graph_config.h>
#include <vorn/graph_util.h>
#include <vorn/isp_utils.h>
#include <vorn/status.h>
#include <vorn/ve_isp_records.h>
#include <vorn/vorn_api.h>

namespace Vorn {

class VORN_API TolKorUtils {
public:
    // The image as it leaves each sink port of an execution context.
    using PortResHistoryMap = std::map<const IGraphConfig *, ve_isp_tol_resolution_info>;
    // Sink context id -> (context id, port) pairs: the sink's context with the
    // port the sink is connected to, then each upstream context with its
    // output port feeding the previous one.
    using StreamChain = std::vector<std::pair<int32_t, IGraphConfig *>>;
    using StreamChainMap = std::map<int32_t, StreamChain>;
    // Stream id -> (program-group id, routing text) per program group.
    using RoutingInfoMap = std::map<int32_t, std::vector<std::pair<int32_t, std::string>>>;

    // An owned array of run-kernel records.
    struct KernelGroupInfo {
        ve_isp_tol_run_kernels *runKernels = nullptr;
        uint32_t kernelCount = 0;
    };
    // The resolution records of one execution context: entry k of both
    // arrays belongs to run-kernel slot k.
    struct ResolutionMemPool {
        std::vector<ve_isp_tol_resolution_info *> resHistories;
        std::vector<ve_isp_tol_resolution_info *> resInfos;
    };
    // Values of one kernel used while its context's list is built.
    struct KernelInfo {
        int32_t rcb = 0;
        int32_t branchPoint = 0;
        int32_t sinkPort = -1;
        int32_t restorePoint = -1;
        const IGraphConfig *sinkPortNode = nullptr;
        const IGraphConfig *sourceNode = nullptr;
    };
    // What a sensor's pixel array, binner and scaler say about its mode.
    struct SensorModeInfo {
        int32_t pixelArrayInputWidth = 0, pixelArrayInputHeight = 0;
        ve_rectangle pixelArrayInputCrop{};
        int32_t pixelArrayOutputWidth = 0, pixelArrayOutputHeight = 0;
        ve_rectangle pixelArrayOutputCrop{};
        int32_t binnerInputWidth = 0, binnerInputHeight = 0;
        ve_rectangle binnerInputCrop{};
        int32_t binnerOutputWidth = 0, binnerOutputHeight = 0;
        ve_rectangle binnerOutputCrop{};
        int32_t binningH = 1, binningV = 1;
        int32_t scalerInputWidth = 0, scalerInputHeight = 0;
        ve_rectangle scalerInputCrop{};
        int32_t scalerOutputWidth = 0, scalerOutputHeight = 0;
        ve_rectangle scalerOutputCrop{};
        int32_t scaleNum = 1, scaleDenom = 1;
    };

    // Works by "stream_id" (true) or by "exec_ctx_id" (false).
    explicit TolKorUtils(bool useStreamId = true);
    ~TolKorUtils();
    TolKorUtils(const TolKorUtils &) = delete;
    TolKorUtils &operator=(const TolKorUtils &) = delete;

    // Builds the kernel lists of the result graph (releasing those of an
    // earlier call first). New-version graphs go to the embedded GraphUtil.
    status_t initKorUtils(const IGraphConfig *graph);
    // The run kernels of a context; kernel_count 0 when there are none.
    void getProgramGroup(int32_t streamId, ve_isp_tol_program_group &group);
    // The run kernels of one program group, in its kernels' id order.
    status_t getProgramGroup(const IGraphConfig *programGroup, ve_isp_tol_program_group &group);
    // Logs the run kernels of a context (error level).
    void dumpKernels(int32_t ctxId);

    // --- stream chains, routing, MBR data, source values ------------------------

    status_t getStreamChains(StreamChainMap &chains);
    // Context feeding stream streamId (-1 when none); port, when given,
    // receives the upstream output port.
    int32_t getUpstreamStreamId(int32_t streamId, IGraphConfig **port = nullptr);
    status_t getRoutingInfo(RoutingInfoMap &routing);
    status_t getMbrData(int32_t streamId, ve_view_mbr_limits_t *limits);
    status_t collectNodesIntAttribute(std::vector<int32_t> &values, KeyId attribute, KeyId nodeType) const;
    status_t getStreamIds(std::vector<int32_t> &ids, bool fromSinks) const;
    status_t getSensorCmcId(std::string &cmcTag);
    status_t getDolInfo(float &conversionGain, std::string &dolMode);

    // --- resolution histories --------------------------------------------------

    // The image as the source leaves its receiver block.
    static status_t sourceGetResolutionHistory(ve_isp_tol_resolution_info &history, const IGraphConfig &source);
    static status_t calculateSensorResolutionHistory(const IGraphConfig *sensor, ve_isp_tol_resolution_info &history);
    static status_t calculateTPGResolutionHistory(const IGraphConfig *tpg, ve_isp_tol_resolution_info &history);
    static status_t calculateBufSrcResolutionHistory(const IGraphConfig *bufferSource,
                                                     ve_isp_tol_resolution_info &history);
    static status_t getSensorModeInfo(const IGraphConfig *sensor, SensorModeInfo &info);
    static status_t getCsiDimensions(const IGraphConfig *sourcePort, ve_isp_tol_resolution_info &dimensions);
    // sum += ((crop * multiplier * 16) / divisor) >> 4 per side, wrapping in
    // 32 bits; a divisor of 0 counts as 1.
    static void accumulateCrop(ve_rectangle &sum, const ve_rectangle &crop, int32_t divisor, int32_t multiplier);
    static bool kernelHasResolutions(const IGraphConfig *kernel);
    static status_t kernelGetResolutions(const IGraphConfig *kernel, ve_isp_tol_resolution_info *resolution);
    static status_t kernelGetResolutions(const IGraphConfig *kernel,
                                         std::map<std::string, ve_isp_tol_resolution_info> &resolutions);
    // The current history := the history stored for the port feeding the
    // program group's "input" (unchanged when none is stored).
    status_t getResHistoryForIntermediatePg(const IGraphConfig *programGroup, ve_isp_tol_resolution_info &current,
                                            const PortResHistoryMap &histories);
    status_t getSourceResolutionHistory(ve_isp_tol_resolution_info &history);

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

    // Id check of one program group: the ids must sum to 0 + 1 + ... + (count - 1).
    static status_t kernelIdSanityCheck(uint32_t idSum, uint32_t count);
    // Applies the forced settings whose kernelUuid is the record's kernel.
    static void applyKernelConfigs(const std::vector<KernelConfigContainer> &configs, ve_isp_tol_run_kernels &record);

private:
    struct GraphIndex;  // program groups by context, built once per use

    bool detectNewGraphVersion();
    bool nodesHaveKernelLinks();
    status_t generateKernelListsForExecCtxs();
    status_t countKernelsPerContext(const GraphIndex &index);
    status_t createPerPgKernelListStructures(const IGraphConfig *programGroup, uint32_t count);
    status_t createKernelListStructures();
    status_t fillStreamChain(const StreamChain &chain, const GraphIndex &index, const IGraphConfig &source,
                             PortResHistoryMap &histories, std::set<int32_t> &handled);
    status_t contextInputHistory(int32_t ctxId, IGraphConfig *chainPort, const GraphIndex &index,
                                 const IGraphConfig &source, PortResHistoryMap &histories);
    struct ContextFill;  // the state of one context while it is filled
    status_t populateKernelArray(int32_t ctxId, ve_isp_tol_run_kernels *runKernels, uint32_t poolIndex,
                                 PortResHistoryMap &histories, const GraphIndex &index);
    status_t readPgKernels(ContextFill &fill, const IGraphConfig *programGroup, uint32_t &count);
    status_t storeKernel(ContextFill &fill, const IGraphConfig *programGroup, const IGraphConfig *kernel,
                         uint32_t &idSum);
    status_t fillPgSlots(ContextFill &fill, uint32_t count, const std::vector<KernelConfigContainer> &configs);
    status_t fillSlot(ContextFill &fill, int32_t slot, const std::vector<KernelConfigContainer> &configs,
                      std::map<int32_t, ve_isp_tol_resolution_info> &branchPoints);
    status_t handleSinkPort(KernelInfo &info, const IGraphConfig *programGroup, std::set<int32_t> &disabled,
                            int32_t kernelIndex);
    status_t streamChainsWith(const GraphIndex &index, StreamChainMap &chains);
    void deleteKernelInfo();

    std::map<int32_t, uint32_t> mCtxPoolIndex;
    std::vector<ResolutionMemPool> mResolutionPools;
    std::map<const IGraphConfig *, KernelGroupInfo> mPgKernelGroups;
    std::map<int32_t, KernelGroupInfo> mCtxKernelGroups;
    ve_isp_tol_resolution_info mSourceResHistory{};
    const IGraphConfig *mGraphRoot = nullptr;  // not owned
    bool mUseStreamId;
    GraphUtil mGraphUtil;
    GdfVersion mGdfVersion = GDF_VERSION_NONE;
    std::shared_ptr<IspUtils> mIspUtils;
};

}  // namespace Vorn

#endif
