// The run-kernel records of a new-version graph: one zero-filled array per
// subgraph (a slot per kernel, with its resolution history and infos) and one
// per program group, filled once the resolution histories are known, handed
// out per subgraph id or program-group node, and released at the next init.
#include <vorn/graph_util.h>

#include <algorithm>
#include <set>

#include <ve_cipr/ve_log_common.h>
#include <vorn/graph_camera_util.h>
#include <vorn/tol_kor_utils.h>

#include "analysis/analysis_log.h"
#include "model/tree.h"
#include "no_memory.h"

namespace Vorn {
namespace {

// The resolution infos a kernel's slot holds: one per distinct output-port
// name (at least one) for a kernel that may change resolution, which is what
// the resolution walk stores for it, else one.
uint32_t resInfoSlots(const GraphUtil::ImagingNode &node)
{
    if ((node.flags & GraphUtil::kFlagRcb) == 0 && !TolKorUtils::kernelHasResolutions(node.configNode))
        return 1;
    std::set<std::string> ports;
    for (const auto &output : node.outputs)
        ports.insert(output.second);
    return static_cast<uint32_t>(std::max<size_t>(ports.size(), 1));
}

}  // namespace

status_t GraphUtil::buildKorData()
{
    status_t status = allocateKorData();
    if (status != err_none) {
        logError("KOR data allocation failed");
        deleteKorStructs();
        return status;
    }
    status = populateKorData();
    if (status != err_none) {
        logError("KOR structures population failed");
        // A failed init hands out no records at all.
        deleteKorStructs();
        return status;
    }
    return err_none;
}

status_t GraphUtil::allocateKorData()
{
    if (!mKernelPools.empty() || !mPgKernelPools.empty()) {
        logWarning("Allocating kernel structures before deleting.");
        deleteKorStructs();
    }
    for (const auto &entry : mSubGraphs) {
        if (entry.second->kernelCount == 0)
            continue;
        const status_t status = allocateSubgraphRecords(*entry.second);
        if (status != err_none)
            return status;
    }
    const status_t status = allocatePgRecords();
    if (status != err_none)
        return status;
    logVerbose("KOR structure allocation succeeded !!");
    return err_none;
}

status_t GraphUtil::allocateSubgraphRecords(SubGraphInfo &subgraph)
{
    // The pool is entered before any slot is handed to a node, so every
    // pointer set below leads into records that deleteKorStructs finds.
    KernelInfoMemPool &pool = mKernelPools[subgraph.id];
    pool.count = subgraph.kernelCount;
    pool.runKernels.reset(new ve_isp_tol_run_kernels[pool.count]());
    subgraph.runKernels = pool.runKernels.get();
    uint64_t slot = 0;
    for (const auto &entry : subgraph.imagingNodes) {
        ImagingNode &node = *entry.second;
        if (node.type != ImagingKernel)
            continue;
        if (slot >= pool.count) {
            logError("Kernel %s has no slot among the %lu of subgraph %d - BUG", entry.first.c_str(),
                     static_cast<unsigned long>(pool.count), static_cast<int>(subgraph.id));
            return err_internal;
        }
        ve_isp_tol_run_kernels &record = pool.runKernels[slot++];
        const uint32_t infos = resInfoSlots(node);
        pool.resInfos.emplace_back(new ve_isp_tol_resolution_info[infos]());
        pool.resHistories.emplace_back(new ve_isp_tol_resolution_info());
        record.resolution_info = pool.resInfos.back().get();
        record.resolution_info_count = infos;
        record.resolution_history = pool.resHistories.back().get();
        node.korRunKernel = &record;
    }
    return err_none;
}

status_t GraphUtil::allocatePgRecords()
{
    for (const auto &entry : mSubGraphs) {
        for (const IGraphConfig *pg : entry.second->pgs) {
            uint32_t count = 0;
            if (GraphCameraUtil::getKernelCountInPg(pg, count) != err_none) {
                deleteKorStructs();
                return err_general;
            }
            // Zero-filled: a kernel-level failure of getPgKorData never hands
            // out records that were never written.
            KernelInfoMemPool &pool = mPgKernelPools[pg];
            pool.runKernels.reset(new ve_isp_tol_run_kernels[count]());
            pool.count = count;
        }
    }
    return err_none;
}

status_t GraphUtil::fillKorRunKernels(SubGraphInfo &subgraph)
{
    logVerbose("Filling KOR run_kernels for subgraph %d", static_cast<int>(subgraph.streamId));
    for (const auto &entry : subgraph.imagingNodes) {
        const ImagingNode &node = *entry.second;
        if (node.type != ImagingKernel)
            continue;
        ve_isp_tol_run_kernels *record = node.korRunKernel;
        if (record == nullptr || record->resolution_history == nullptr) {
            logError("Kernel %s has no run kernel allocated - BUG", entry.first.c_str());
            return err_internal;
        }
        const ve_isp_tol_run_kernels &values = node.runKernel;
        record->bpp_info = values.bpp_info;
        record->enable = values.enable;
        record->kernel_uuid = values.kernel_uuid;
        record->stream_id = values.stream_id;
        *record->resolution_history = node.resHistory;
        if (!node.resInfos.empty()) {
            if (node.resInfos.size() != record->resolution_info_count || record->resolution_info == nullptr) {
                logError("Calculated number of res Infos (%ld) for kernel %s does not match allocated(%u) - BUG",
                         static_cast<long>(node.resInfos.size()), node.name.c_str(), record->resolution_info_count);
                return err_internal;
            }
            // In port-name order.
            size_t i = 0;
            for (const auto &info : node.resInfos)
                record->resolution_info[i++] = info.second;
        } else {
            // A kernel that changes no resolution has neither records nor a
            // count saying there are some.
            record->resolution_info = nullptr;
            record->resolution_info_count = 0;
        }
        std::copy(std::begin(values.metadata), std::end(values.metadata), std::begin(record->metadata));
    }
    return err_none;
}

void GraphUtil::deleteKorStructs()
{
    // No pointer into the records outlives them.
    for (const auto &entry : mSubGraphs) {
        entry.second->runKernels = nullptr;
        for (const auto &node : entry.second->imagingNodes)
            node.second->korRunKernel = nullptr;
    }
    mKernelPools.clear();
    mPgKernelPools.clear();
}

status_t GraphUtil::getKorData(int32_t subgraphId, ve_isp_tol_program_group &group) const
{
    const auto found = mSubGraphs.find(subgraphId);
    if (found == mSubGraphs.end()) {
        logError("Invalid subgraph(%s) id %d", ItemUID::key2str(mSgKey), static_cast<int>(subgraphId));
        return err_data;
    }
    const SubGraphInfo &subgraph = *found->second;
    // Records not allocated (or released) are answered as none.
    group.kernel_count = subgraph.runKernels != nullptr ? static_cast<uint32_t>(subgraph.kernelCount) : 0;
    group.run_kernels = subgraph.runKernels;
    group.tuning_mode = subgraph.tuningMode;
    return err_none;
}

status_t GraphUtil::getPgKorData(const IGraphConfig *programGroup, ve_isp_tol_program_group &group)
try {
    const std::string pgName = programGroup != nullptr ? programGroup->getName() : std::string("NULL");
    const SubGraphInfo *owner = nullptr;
    for (const auto &entry : mSubGraphs) {
        const auto &pgs = entry.second->pgs;
        if (std::find(pgs.begin(), pgs.end(), programGroup) != pgs.end()) {
            owner = entry.second.get();
            break;
        }
    }
    if (owner == nullptr) {
        logError("Could not find the PG %s in the Subgraphs map", pgName.c_str());
        return err_argument;
    }
    const auto pool = mPgKernelPools.find(programGroup);
    if (pool == mPgKernelPools.end() || pool->second.runKernels == nullptr) {
        logError("Could not find the PG %s in the PG memory pool map", pgName.c_str());
        return err_argument;
    }
    group.kernel_count = static_cast<uint32_t>(pool->second.count);
    group.run_kernels = pool->second.runKernels.get();
    int32_t tuningMode = 0;
    if (programGroup->getValue(key_tuning_mode, tuningMode) != err_none) {
        logWarning("Could not find the tuning mode for PG %s default to 0", pgName.c_str());
        tuningMode = 0;
    }
    group.tuning_mode = tuningMode;

    uint32_t index = 0;
    status_t status = err_none;
    tree::forEachChildOfType(*programGroup, key_kernel, [&](IGraphConfig *kernel) {
        int32_t palUuid = -1;
        if (kernel->getValue(key_pal_uuid, palUuid) != err_none) {
            logError("Could not find the pal uuid for kernel %s", kernel->getName().c_str());
            status = err_internal;
            return false;
        }
        std::string name;
        if (kernel->getValue(key_name, name) != err_none) {
            logError("getPgKorData - Failed to get kernel Name");
            status = err_internal;
            return false;
        }
        // Checked before the copy: entry i exists only below kernel_count.
        if (index >= group.kernel_count) {
            logError("over the max kernel number");
            return true;
        }
        const auto node = owner->imagingNodes.find(pgName + ":" + name);
        if (node == owner->imagingNodes.end() || node->second->type != ImagingKernel ||
            node->second->korRunKernel == nullptr) {
            status = err_internal;
            return false;
        }
        group.run_kernels[index++] = *node->second->korRunKernel;
        return true;
    });
    return status;
} catch (const std::bad_alloc &) {
    return noMemory("getPgKorData");
}

}  // namespace Vorn
