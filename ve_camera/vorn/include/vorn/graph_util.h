// Analysis of new-version graphs (kernel links inside program groups): the
// object that TolKorUtils holds and hands such graphs to.
//
// This build does not analyse new-version graphs yet: init refuses them with
// err_notimplemented and the object never holds a graph, so every query of
// TolKorUtils is answered from its own first-version lists.
#ifndef VORN_GRAPH_UTIL_H
#define VORN_GRAPH_UTIL_H

#include <cstdint>

#include <vorn/graph_config.h>
#include <vorn/isp_utils.h>
#include <vorn/keys.h>
#include <vorn/status.h>
#include <vorn/ve_isp_records.h>
#include <vorn/vorn_api.h>

namespace Vorn {

class VORN_API GraphUtil {
public:
    GraphUtil() = default;
    ~GraphUtil();
    GraphUtil(const GraphUtil &) = delete;
    GraphUtil &operator=(const GraphUtil &) = delete;

    // Analyses the result graph root, its subgraphs told apart by the
    // integer sgKey ("stream_id" or "exec_ctx_id"). Not available in this
    // build: logs an error line and answers err_notimplemented, holding no
    // graph afterwards.
    status_t init(KeyId sgKey, const IGraphConfig *graphSettings, GdfVersion version);
    // Forgets the graph and everything built from it.
    void reset();

    // Whether a graph is held; TolKorUtils forwards its queries only then.
    bool holdsGraph() const { return mGraphSettings != nullptr; }

    // The run kernels of a subgraph / of one program group; without a graph:
    // kernel_count 0, a null array, err_noentry.
    status_t getKorData(int32_t subgraphId, ve_isp_tol_program_group &group) const;
    status_t getPgKorData(const IGraphConfig *programGroup, ve_isp_tol_program_group &group) const;
    // Logs the run kernels of a subgraph ("subgraph id %d not FOUND" without one).
    void dumpKernels(int32_t subgraphId) const;
    // The resolution history of the source feeding the graph.
    const ve_isp_tol_resolution_info &getSourceResHistory() const { return mSourceResHistory; }

private:
    const IGraphConfig *mGraphSettings = nullptr;  // not owned; null while no graph is held
    KeyId mSgKey = key_stream_id;
    ve_isp_tol_resolution_info mSourceResHistory{};
    GdfVersion mVersion = GDF_VERSION_NONE;
    KeyId mPgKey = key_program_group;
};

}  // namespace Vorn

#endif
