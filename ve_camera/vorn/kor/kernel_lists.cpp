// Kernel lists of first-version graphs: per execution context and per program
// group, the run-kernel records with their resolution histories.
#include <vorn/tol_kor_utils.h>

#include <new>

#include <ve_cipr/ve_log_common.h>
#include <vorn/graph_camera_util.h>

#include "kor/graph_index.h"
#include "wrap32.h"
#include "log_tags.h"
#include "model/tree.h"

namespace Vorn {

namespace {

constexpr const char *kTag = kVornTag;
constexpr const char *kOutOfSlots = "Error: We run out out resolution history items - BUG";
constexpr const char *kBadKernelIds = "Error: Bad kernel id(s). Kernel ids need to run from 0 to n. Check the GDF.";
constexpr const char *kKernelDumpSeparator = "=======================================================";

std::string textOf(const IGraphConfig *item) { return GraphCameraUtil::print(item); }

// The port history entry of the port that feeds input (empty when none).
TolKorUtils::PortResHistoryMap feedingHistory(const IGraphConfig *input,
                                              const TolKorUtils::PortResHistoryMap &histories)
{
    TolKorUtils::PortResHistoryMap feeding;
    IGraphConfig *peer = nullptr;
    if (input != nullptr && GraphCameraUtil::portGetPeer(input, &peer) == err_none) {
        const auto found = histories.find(peer);
        if (found != histories.end())
            feeding.insert(*found);
    }
    return feeding;
}

}  // namespace

// The state of one context while its run kernels are filled.
struct TolKorUtils::ContextFill {
    int32_t ctxId;
    ve_isp_tol_run_kernels *runKernels;
    ResolutionMemPool &pool;
    PortResHistoryMap &histories;
    ve_isp_tol_resolution_info current;
    std::map<int32_t, KernelInfo> kernelInfos;
    std::set<int32_t> disabled;
    int32_t offset = 0;
    bool first = true;

    // Whether slot exists in the context's array and pool.
    bool holds(int64_t slot) const
    {
        return slot >= 0 && slot < static_cast<int64_t>(pool.resHistories.size()) &&
               slot < static_cast<int64_t>(pool.resInfos.size());
    }
    KernelInfo infoAt(int32_t slot) const
    {
        const auto found = kernelInfos.find(slot);
        return found != kernelInfos.end() ? found->second : KernelInfo{};
    }
};

// --- lifecycle ---------------------------------------------------------------------

TolKorUtils::TolKorUtils(bool useStreamId) : mUseStreamId(useStreamId) {}

TolKorUtils::~TolKorUtils()
{
    mCtxPoolIndex.clear();
    deleteKernelInfo();
    mIspUtils.reset();
}

status_t TolKorUtils::initKorUtils(const IGraphConfig *graph)
{
    if (graph == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "GC Handle NULL");
        return err_argument;
    }
    if (mGraphRoot != nullptr) {
        mCtxPoolIndex.clear();
        deleteKernelInfo();
        mGraphUtil.reset();
    }
    mGraphRoot = graph->getRoot();
    if (mGraphRoot == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "GC Handle root is NULL");
        return err_argument;
    }
    mIspUtils = IspUtils::Factory(graph);
    if (!mIspUtils) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "ISP utils init failed");
        return err_internal;
    }
    if (detectNewGraphVersion() || nodesHaveKernelLinks())
        return mGraphUtil.init(mUseStreamId ? key_stream_id : key_exec_ctx_id, mGraphRoot, mGdfVersion);

    status_t status = err_nomemory;
    try {
        status = generateKernelListsForExecCtxs();
    } catch (const std::bad_alloc &) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Cannot allocate memory for kernel structures.");
    }
    if (status != err_none)
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Generating kernel lists failed");
    ve_log_common_debug(VE_LOG_VERBOSE, kTag, "KOR utils initialized with %lu exec contexts",
                        static_cast<unsigned long>(mCtxKernelGroups.size()));
    for (const auto &entry : mCtxKernelGroups) {
        ve_log_common_debug(VE_LOG_VERBOSE, kTag, "KOR utils exec-context %d has %d kernels", entry.first,
                            static_cast<int>(entry.second.kernelCount));
    }
    return status;
}

bool TolKorUtils::detectNewGraphVersion()
{
    mGdfVersion = mIspUtils->getOktVersion();
    return mGdfVersion >= GDF_VERSION_OKT6;
}

bool TolKorUtils::nodesHaveKernelLinks()
{
    bool found = false;
    tree::forEachChildOfType(*mGraphRoot, key_program_group, [&](IGraphConfig *programGroup) {
        found = programGroup->getDescendant(key_klink) != nullptr;
        return !found;
    });
    if (found)
        mGdfVersion = GDF_VERSION_OKT6;
    return found;
}

void TolKorUtils::deleteKernelInfo()
{
    size_t position = 0;
    for (auto &entry : mCtxKernelGroups) {
        if (position < mResolutionPools.size()) {
            ResolutionMemPool &pool = mResolutionPools[position];
            for (ve_isp_tol_resolution_info *record : pool.resHistories)
                delete record;
            for (ve_isp_tol_resolution_info *record : pool.resInfos)
                delete record;
            pool.resHistories.clear();
            pool.resInfos.clear();
        }
        delete[] entry.second.runKernels;
        entry.second.runKernels = nullptr;
        ++position;
    }
    for (auto &entry : mPgKernelGroups)
        delete[] entry.second.runKernels;
    mPgKernelGroups.clear();
    mResolutionPools.clear();
    mCtxKernelGroups.clear();
}

// --- generation --------------------------------------------------------------------

status_t TolKorUtils::generateKernelListsForExecCtxs()
{
    const GraphIndex index(*mGraphRoot);
    StreamChainMap chains;
    status_t status = streamChainsWith(index, chains);
    if (status != err_none)
        return status;
    status = countKernelsPerContext(index);
    if (status != err_none)
        return status;
    if (createKernelListStructures() != err_none) {
        ve_log_common_debug(VE_LOG_VERBOSE, kTag, "Cannot allocate memory for kernel structures.");
        return err_nomemory;
    }
    std::vector<IGraphConfig *> sources;
    if (GraphCameraUtil::getSourceNode(mGraphRoot, sources) != err_none || sources.empty() || sources[0] == nullptr)
        return err_data;

    PortResHistoryMap histories;
    std::set<int32_t> handled;
    for (const auto &entry : chains) {
        ve_log_common_debug(VE_LOG_VERBOSE, kTag, "Handling stream-chain ctx %d", entry.first);
        status = fillStreamChain(entry.second, index, *sources[0], histories, handled);
        if (status != err_none)
            return status;
    }
    dumpPortResHistoryMap(histories);
    return err_none;
}

status_t TolKorUtils::countKernelsPerContext(const GraphIndex &index)
{
    // A hardware block takes one record of context 0 of its own.
    tree::forEachChildOfType(*mGraphRoot, key_hw, [&](IGraphConfig *) {
        mCtxKernelGroups.emplace(0, KernelGroupInfo{nullptr, 1});
    });
    const KeyId ctxKey = mUseStreamId ? key_stream_id : key_exec_ctx_id;
    for (const IGraphConfig *programGroup : index.programGroups) {
        int32_t ctxId = 0;
        status_t status = programGroup->getValue(ctxKey, ctxId);
        if (status != err_none) {
            ve_log_common_debug(VE_LOG_ERROR, kTag, "Couldn't get stream id or exec ctx id for pg %s",
                                textOf(programGroup).c_str());
            return status;
        }
        uint32_t count = 0;
        tree::forEachChildOfType(*programGroup, key_kernel, [&](IGraphConfig *) {
            auto inserted = mCtxKernelGroups.emplace(ctxId, KernelGroupInfo{nullptr, 1});
            if (!inserted.second)
                ++inserted.first->second.kernelCount;
            ++count;
        });
        status = createPerPgKernelListStructures(programGroup, count);
        if (status != err_none)
            return status;
    }
    return err_none;
}

status_t TolKorUtils::createPerPgKernelListStructures(const IGraphConfig *programGroup, uint32_t count)
{
    auto *records = new (std::nothrow) ve_isp_tol_run_kernels[count]();
    if (records == nullptr)
        return err_nomemory;
    ve_log_common_debug(VE_LOG_VERBOSE, kTag, "Allocated %d kernels for pg %s", static_cast<int>(count),
                        textOf(programGroup).c_str());
    if (!mPgKernelGroups.emplace(programGroup, KernelGroupInfo{records, count}).second)
        delete[] records;
    return err_none;
}

status_t TolKorUtils::createKernelListStructures()
{
    mCtxPoolIndex.clear();
    uint32_t index = 0;
    for (auto &entry : mCtxKernelGroups) {
        KernelGroupInfo &group = entry.second;
        group.runKernels = new (std::nothrow) ve_isp_tol_run_kernels[group.kernelCount]();
        if (group.runKernels == nullptr)
            return err_nomemory;
        mResolutionPools.emplace_back();
        ResolutionMemPool &pool = mResolutionPools.back();
        pool.resHistories.reserve(group.kernelCount);
        pool.resInfos.reserve(group.kernelCount);
        for (uint32_t k = 0; k < group.kernelCount; ++k) {
            pool.resHistories.push_back(new ve_isp_tol_resolution_info());
            pool.resInfos.push_back(new ve_isp_tol_resolution_info());
        }
        ve_log_common_debug(VE_LOG_VERBOSE, kTag, "Allocated %d kernels for exec ctx %d. Index: %d",
                            static_cast<int>(group.kernelCount), entry.first, static_cast<int>(index));
        mCtxPoolIndex[entry.first] = index++;
    }
    return err_none;
}

status_t TolKorUtils::fillStreamChain(const StreamChain &chain, const GraphIndex &index, const IGraphConfig &source,
                                      PortResHistoryMap &histories, std::set<int32_t> &handled)
{
    // Upstream first: each context's output feeds the next one's input.
    for (auto pair = chain.rbegin(); pair != chain.rend(); ++pair) {
        const int32_t ctxId = pair->first;
        ve_log_common_debug(VE_LOG_VERBOSE, kTag, "Handling stream port ctx-%d - %s", ctxId,
                            textOf(pair->second).c_str());
        if (handled.count(ctxId) != 0)
            continue;
        status_t status = contextInputHistory(ctxId, pair->second, index, source, histories);
        if (status != err_none)
            return status;
        const auto group = mCtxKernelGroups.find(ctxId);
        if (group == mCtxKernelGroups.end()) {
            ve_log_common_debug(VE_LOG_ERROR, kTag, "Could not find the exec ctx %d in the run kernels map", ctxId);
            return err_argument;
        }
        const uint32_t poolIndex = mCtxPoolIndex[ctxId];
        status = populateKernelArray(ctxId, group->second.runKernels, poolIndex, histories, index);
        if (status != err_none) {
            ve_log_common_debug(VE_LOG_ERROR, kTag, "Creating kernel list for exec ctx id %d failed", ctxId);
            return err_internal;
        }
        handled.insert(ctxId);
    }
    return err_none;
}

status_t TolKorUtils::contextInputHistory(int32_t ctxId, IGraphConfig *chainPort, const GraphIndex &index,
                                          const IGraphConfig &source, PortResHistoryMap &histories)
{
    bool fedByPort = false;
    if (const IGraphConfig *input = index.inputPort(ctxId)) {
        IGraphConfig *peer = nullptr;
        if (GraphCameraUtil::portGetPeer(input, &peer) != err_none || peer == nullptr) {
            ve_log_common_debug(VE_LOG_ERROR, kTag, "No input peer for stream %d", ctxId);
            return err_general;
        }
        const auto upstream = histories.find(peer);
        if (upstream != histories.end()) {
            mSourceResHistory = upstream->second;
            return err_none;
        }
        fedByPort = true;
    }
    if (sourceGetResolutionHistory(mSourceResHistory, source) != err_none) {
        if (fedByPort)
            ve_log_common_debug(VE_LOG_ERROR, kTag, "No kernel history or source in stream %d", ctxId);
        else
            ve_log_common_debug(VE_LOG_ERROR, kTag, "No Input port or source in stream %d", ctxId);
        return err_general;
    }
    histories[chainPort] = mSourceResHistory;
    return err_none;
}

// --- filling one context -------------------------------------------------------------

status_t TolKorUtils::populateKernelArray(int32_t ctxId, ve_isp_tol_run_kernels *runKernels, uint32_t poolIndex,
                                          PortResHistoryMap &histories, const GraphIndex &index)
{
    ve_log_common_debug(VE_LOG_VERBOSE, kTag, "Enter %s for ctx %d, index %d", "populateKernelArray", ctxId,
                        static_cast<int>(poolIndex));
    dumpResHistory(mSourceResHistory, "inputHistory");
    // The whole port history grows with every context; it is dumped once
    // after the last context (so the dumps stay linear in the graph), and
    // here only the entry this context is fed from.
    dumpPortResHistoryMap(feedingHistory(index.inputPort(ctxId), histories));
    if (runKernels == nullptr || poolIndex >= mResolutionPools.size()) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "%s", kOutOfSlots);
        return err_data;
    }
    ContextFill fill{ctxId, runKernels, mResolutionPools[poolIndex], histories, mSourceResHistory, {}, {}};

    // A program group whose "stream_id" cannot be read fails every fill.
    if (index.firstWithoutStreamId != nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to get stream id from node %s",
                            textOf(index.firstWithoutStreamId).c_str());
        return err_noentry;
    }
    for (const IGraphConfig *programGroup : index.streamPgs(ctxId)) {
        ve_log_common_debug(VE_LOG_VERBOSE, kTag, "Handling PG: %s", textOf(programGroup).c_str());
        uint32_t count = 0;
        status_t status = readPgKernels(fill, programGroup, count);
        if (status != err_none)
            return status;
        std::vector<KernelConfigContainer> configs;
        status = mIspUtils->getKernelConfigurations(configs);
        if (status != err_none)
            ve_log_common_debug(VE_LOG_ERROR, kTag, "Getting kernel configurations failed(%d)", status);
        if (!fill.first && count > 0) {
            status = getResHistoryForIntermediatePg(programGroup, fill.current, histories);
            if (status != err_none)
                return status;
        }
        status = fillPgSlots(fill, count, configs);
        if (status != err_none)
            return status;
        fill.first = false;
        fill.offset = wrap32::add(fill.offset, static_cast<int32_t>(count));
    }
    // Slots beyond the program groups' kernels (a hardware block's) stay unused.
    for (size_t slot = static_cast<size_t>(fill.offset); slot < fill.pool.resHistories.size(); ++slot) {
        runKernels[slot].kernel_uuid = 0;
        runKernels[slot].enable = 0;
        runKernels[slot].resolution_info = nullptr;
        runKernels[slot].resolution_history = nullptr;
    }
    return err_none;
}

status_t TolKorUtils::readPgKernels(ContextFill &fill, const IGraphConfig *programGroup, uint32_t &count)
{
    uint32_t idSum = 0;
    status_t status = err_none;
    tree::forEachChildOfType(*programGroup, key_kernel, [&](IGraphConfig *kernel) {
        status = storeKernel(fill, programGroup, kernel, idSum);
        if (status == err_none)
            ++count;
        return status == err_none;
    });
    if (status != err_none)
        return status;
    ve_log_common_debug(VE_LOG_VERBOSE, kTag, "PG: %s got %d kernels", textOf(programGroup).c_str(),
                        static_cast<int>(count));
    return kernelIdSanityCheck(idSum, count) != err_none ? err_data : err_none;
}

status_t TolKorUtils::storeKernel(ContextFill &fill, const IGraphConfig *programGroup, const IGraphConfig *kernel,
                                  uint32_t &idSum)
{
    int32_t palUuid = 0;
    int32_t id = 0;
    int32_t enable = 1;
    uint32_t metadata[4] = {0, 0, 0, 0};
    KernelInfo info;
    if (kernelGetValues(kernel, &palUuid, &id, metadata, &enable, &info.rcb, &info.branchPoint, &info.sinkPort,
                        &info.restorePoint) != err_none) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to fetch kernel values '%s'", kernel->getName().c_str());
        return err_argument;
    }
    std::string sourceName;
    if (kernel->getValue(key_source, sourceName) == err_none)
        info.sourceNode = mGraphRoot->getDescendantByString(sourceName);

    // Ids run from 0 within each program group; the group's kernels follow
    // those of the context's earlier groups. An id outside the group would
    // land in another group's slot or outside the array.
    idSum += static_cast<uint32_t>(id);
    const auto group = mPgKernelGroups.find(programGroup);
    if (id < 0 || group == mPgKernelGroups.end() || static_cast<uint32_t>(id) >= group->second.kernelCount) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "%s", kBadKernelIds);
        return err_data;
    }
    const int64_t slot64 = static_cast<int64_t>(id) + fill.offset;
    if (!fill.holds(slot64)) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "%s", kOutOfSlots);
        return err_data;
    }
    const auto slot = static_cast<int32_t>(slot64);
    if (info.sinkPort >= 0) {
        const status_t status = handleSinkPort(info, programGroup, fill.disabled, slot);
        if (status != err_none)
            return status;
    }
    fill.kernelInfos[slot] = info;
    ve_log_common_debug(VE_LOG_VERBOSE, kTag,
                        "storing info for '%s': id: %d, rcb %d, branch-point %d sink-id 0x%x restore-point %d",
                        textOf(kernel).c_str(), slot, info.rcb, info.branchPoint, static_cast<unsigned>(info.sinkPort),
                        info.restorePoint);

    ve_isp_tol_run_kernels &record = fill.runKernels[slot];
    record.resolution_info = nullptr;
    if (kernelHasResolutions(kernel)) {
        record.resolution_info = fill.pool.resInfos[static_cast<size_t>(slot)];
        if (kernelGetResolutions(kernel, record.resolution_info) != err_none)
            return err_argument;
    }
    kernelGetBppInfo(kernel, record);
    record.enable = enable;
    record.stream_id = static_cast<uint32_t>(tree::intOr(programGroup, key_stream_id, 0));
    record.kernel_uuid = static_cast<uint32_t>(palUuid);
    for (size_t w = 0; w < 4; ++w)
        record.metadata[w] = metadata[w];
    return err_none;
}

status_t TolKorUtils::fillPgSlots(ContextFill &fill, uint32_t count, const std::vector<KernelConfigContainer> &configs)
{
    // Branch points are valid within one program group only.
    std::map<int32_t, ve_isp_tol_resolution_info> branchPoints;
    for (int64_t slot = fill.offset; slot < static_cast<int64_t>(fill.offset) + count; ++slot) {
        if (!fill.holds(slot)) {
            ve_log_common_debug(VE_LOG_ERROR, kTag, "%s", kOutOfSlots);
            return err_data;
        }
        const status_t status = fillSlot(fill, static_cast<int32_t>(slot), configs, branchPoints);
        if (status != err_none)
            return status;
    }
    return err_none;
}

namespace {

// Disables the kernels from the one feeding a disabled terminal back to (not
// including) the nearest kernel with a branch point; a kernel with a restore
// point is disabled and ends the walk. Bypassed kernels stay bypassed.
template <typename InfoAt>
void disableUpstream(ve_isp_tol_run_kernels *runKernels, int32_t slot, InfoAt &&infoAt)
{
    for (int32_t j = slot;;) {
        if (runKernels[j].enable != VE_ISP_TOL_KERNEL_BYPASS)
            runKernels[j].enable = VE_ISP_TOL_KERNEL_DISABLED;
        if (infoAt(j).restorePoint > 0)
            return;
        --j;
        if (j < 0 || infoAt(j).branchPoint > 0)
            return;
    }
}

// Applies a kernel's own resolution change to the current history: crops are
// converted to source pixels through the current scale (1/1024 units).
status_t applyResolutionChange(ve_isp_tol_resolution_info &current, const ve_isp_tol_resolution_info &change)
{
    if (current.output_width == 0 || current.output_height == 0) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "output width or height is 0");
        return err_internal;
    }
    using namespace wrap32;
    const int32_t spanX = sub(sub(current.input_width, current.input_crop.left), current.input_crop.right);
    const int32_t spanY = sub(sub(current.input_height, current.input_crop.top), current.input_crop.bottom);
    const int32_t sx = div(mul(spanX, 1024), current.output_width);
    const int32_t sy = div(mul(spanY, 1024), current.output_height);
    current.input_crop.left = add(current.input_crop.left, shr(mul(change.input_crop.left, sx), 10));
    current.input_crop.top = add(current.input_crop.top, shr(mul(change.input_crop.top, sy), 10));
    current.input_crop.right = add(current.input_crop.right, shr(mul(change.input_crop.right, sx), 10));
    current.input_crop.bottom = add(current.input_crop.bottom, shr(mul(change.input_crop.bottom, sy), 10));
    current.output_width = change.output_width;
    current.output_height = change.output_height;
    return err_none;
}

}  // namespace

status_t TolKorUtils::fillSlot(ContextFill &fill, int32_t slot, const std::vector<KernelConfigContainer> &configs,
                               std::map<int32_t, ve_isp_tol_resolution_info> &branchPoints)
{
    ve_isp_tol_run_kernels &record = fill.runKernels[slot];
    const KernelInfo info = fill.infoAt(slot);
    if (fill.disabled.count(slot) != 0)
        disableUpstream(fill.runKernels, slot, [&](int32_t j) { return fill.infoAt(j); });
    applyKernelConfigs(configs, record);

    if (info.restorePoint != -1) {
        const auto branch = branchPoints.find(info.restorePoint);
        if (branch != branchPoints.end()) {
            fill.current = branch->second;
        } else {
            ve_log_common_debug(VE_LOG_ERROR, kTag,
                                "Found restore_point attribute, but no branch points. Ignoring attribute and "
                                "continuing.");
        }
    }
    record.resolution_history = fill.pool.resHistories[static_cast<size_t>(slot)];
    if (info.sourceNode != nullptr) {
        GraphCameraUtil::getDimensions(info.sourceNode, &fill.current.input_width, &fill.current.input_height);
        fill.current.output_width = fill.current.input_width;
        fill.current.output_height = fill.current.input_height;
    }
    if (record.resolution_history == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "%s", kOutOfSlots);
        return err_data;
    }
    // The history of a kernel is the image before the kernel acts.
    *record.resolution_history = fill.current;

    if (record.resolution_info == nullptr) {
        if (info.rcb == 1) {
            ve_isp_tol_resolution_info *passThrough = fill.pool.resInfos[static_cast<size_t>(slot)];
            *passThrough = ve_isp_tol_resolution_info{};
            passThrough->input_width = passThrough->output_width = fill.current.output_width;
            passThrough->input_height = passThrough->output_height = fill.current.output_height;
            record.resolution_info = passThrough;
        }
    } else {
        const status_t status = applyResolutionChange(fill.current, *record.resolution_info);
        if (status != err_none)
            return status;
    }

    if (info.branchPoint != 0 && info.sinkPortNode == nullptr)
        branchPoints.emplace(info.branchPoint, fill.current);
    if (info.branchPoint != 0 && info.sinkPortNode != nullptr)
        ve_log_common_debug(VE_LOG_VERBOSE, kTag, "Branch point with kernel at edge has no effect");
    if (info.sinkPortNode != nullptr) {
        fill.histories[info.sinkPortNode] = fill.current;
        ve_log_common_debug(VE_LOG_VERBOSE, kTag, "Sink port %s info stored", info.sinkPortNode->getName().c_str());
    }
    return err_none;
}

status_t TolKorUtils::handleSinkPort(KernelInfo &info, const IGraphConfig *programGroup, std::set<int32_t> &disabled,
                                     int32_t kernelIndex)
{
    info.sinkPortNode = GraphCameraUtil::nodeGetPortById(programGroup, info.sinkPort);
    if (info.sinkPortNode == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Kernel sink port id %d invalid", info.sinkPort);
        return err_argument;
    }
    int32_t enabled = 1;
    if (info.sinkPortNode->getValue(key_enabled, enabled) == err_none && enabled == 0) {
        ve_log_common_debug(VE_LOG_VERBOSE, kTag, "Found disabled terminal %d, going to disable its kernels.",
                            info.sinkPort);
        disabled.insert(kernelIndex);
    }
    return err_none;
}

status_t TolKorUtils::kernelIdSanityCheck(uint32_t idSum, uint32_t count)
{
    // 0 + 1 + ... + (count - 1), wrapping in 32 bits like the sum.
    const uint64_t n = count;
    const auto expected = static_cast<uint32_t>(n == 0 ? 0 : (n * (n - 1) / 2));
    if (idSum != expected) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "%s", kBadKernelIds);
        return err_data;
    }
    return err_none;
}

void TolKorUtils::applyKernelConfigs(const std::vector<KernelConfigContainer> &configs, ve_isp_tol_run_kernels &record)
{
    for (const KernelConfigContainer &config : configs) {
        if (config.kernelUuid != record.kernel_uuid)
            continue;
        if ((config.applyMask & KernelConfigContainer::kApplyEnable) != 0)
            record.enable = config.enable;
        if ((config.applyMask & KernelConfigContainer::kApplyBppInfo) != 0) {
            record.bpp_info.input_bpp = config.bppInfo[0];
            record.bpp_info.output_bpp = config.bppInfo[1];
        }
        if ((config.applyMask & KernelConfigContainer::kApplyMetadata) != 0) {
            for (size_t w = 0; w < 4; ++w)
                record.metadata[w] = config.metadata[w];
        }
    }
}

// --- queries ---------------------------------------------------------------------------

void TolKorUtils::getProgramGroup(int32_t streamId, ve_isp_tol_program_group &group)
{
    group.kernel_count = 0;
    if (mGraphUtil.holdsGraph()) {
        mGraphUtil.getKorData(streamId, group);
        return;
    }
    if (streamId < 0) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Invalid stream id %d", streamId);
        return;
    }
    const auto entry = mCtxKernelGroups.find(streamId);
    if (entry == mCtxKernelGroups.end() || entry->second.runKernels == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "No kernels found with stream id %d", streamId);
        return;
    }
    group.kernel_count = entry->second.kernelCount;
    group.run_kernels = entry->second.runKernels;
    group.tuning_mode = 0;
}

status_t TolKorUtils::getProgramGroup(const IGraphConfig *programGroup, ve_isp_tol_program_group &group)
{
    if (programGroup == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Invalid parameter provided (nullptr)");
        return err_argument;
    }
    group = ve_isp_tol_program_group{0, nullptr, 0};
    if (mGraphUtil.holdsGraph())
        return mGraphUtil.getPgKorData(programGroup, group);
    const auto entry = mPgKernelGroups.find(programGroup);
    if (entry == mPgKernelGroups.end() || entry->second.runKernels == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Could not find the PG %s in the PG memory pool map",
                            programGroup->getName().c_str());
        return err_argument;
    }
    group.kernel_count = entry->second.kernelCount;
    group.run_kernels = entry->second.runKernels;

    const int32_t streamId = tree::intOr(programGroup, key_stream_id, -1);
    const auto context = mCtxKernelGroups.find(streamId);
    if (context == mCtxKernelGroups.end() || context->second.runKernels == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Could not find the stream id %d. Cannot get kernel count.", streamId);
        return err_argument;
    }
    // The first record of the context for each kernel uuid.
    std::map<uint32_t, const ve_isp_tol_run_kernels *> firstByUuid;
    for (uint32_t k = 0; k < context->second.kernelCount; ++k)
        firstByUuid.emplace(context->second.runKernels[k].kernel_uuid, &context->second.runKernels[k]);

    status_t status = err_none;
    tree::forEachChildOfType(*programGroup, key_kernel, [&](IGraphConfig *kernel) {
        int32_t palUuid = 0;
        int32_t id = 0;
        if (kernel->getValue(key_pal_uuid, palUuid) != err_none || kernel->getValue(key_id, id) != err_none || id < 0 ||
            static_cast<uint32_t>(id) >= group.kernel_count) {
            ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to get pal uuid or kernel id.");
            status = err_data;
            return false;
        }
        const auto found = firstByUuid.find(static_cast<uint32_t>(palUuid));
        if (found != firstByUuid.end())
            group.run_kernels[id] = *found->second;
        return true;
    });
    return status;
}

void TolKorUtils::dumpKernels(int32_t ctxId)
{
    if (mGraphUtil.holdsGraph()) {
        mGraphUtil.dumpKernels(ctxId);
        return;
    }
    const auto entry = mCtxKernelGroups.find(ctxId);
    if (entry == mCtxKernelGroups.end() || entry->second.runKernels == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "COULD NOT FIND index for exec ctx id %d ", ctxId);
        return;
    }
    ve_log_common_debug(VE_LOG_ERROR, kTag, "%s", kKernelDumpSeparator);
    ve_log_common_debug(VE_LOG_ERROR, kTag, "FOUND index for exec ctx id %d dumping %u kernels:", ctxId,
                        entry->second.kernelCount);
    ve_log_common_debug(VE_LOG_ERROR, kTag, "%s", kKernelDumpSeparator);
    dumpKernels(entry->second.runKernels, entry->second.kernelCount);
}

}  // namespace Vorn
