// The program groups of a result graph, gathered once so that the per-context
// steps of the kernel-list generation do not walk the whole root again.
#ifndef VORN_KOR_GRAPH_INDEX_H
#define VORN_KOR_GRAPH_INDEX_H

#include <cstdint>
#include <map>
#include <vector>

#include <vorn/tol_kor_utils.h>

namespace Vorn {

struct TolKorUtils::GraphIndex {
    // Every program group of the root, in child order.
    std::vector<IGraphConfig *> programGroups;
    // The program groups by their "stream_id", each list in child order.
    std::map<int32_t, std::vector<IGraphConfig *>> byStreamId;
    // The first program group whose "stream_id" cannot be read (null when
    // every one has it).
    const IGraphConfig *firstWithoutStreamId = nullptr;

    explicit GraphIndex(const IGraphConfig &root);

    // The program groups of stream streamId (empty when there are none).
    const std::vector<IGraphConfig *> &streamPgs(int32_t streamId) const;
    // The first input port, with a peer, through which stream streamId is
    // fed from outside; null when there is none.
    IGraphConfig *inputPort(int32_t streamId) const;
    // The stream feeding stream streamId (-1 when none); port, when given,
    // receives the upstream output port as soon as it is known.
    int32_t upstreamStreamId(int32_t streamId, IGraphConfig **port) const;
};

}  // namespace Vorn

#endif
