// Result graphs for the kernel-list tests: a loaded fixture, or a small graph
// written in the test, each with a TolKorUtils initialised over it.
#ifndef VORN_TEST_KOR_GRAPH_H
#define VORN_TEST_KOR_GRAPH_H

#include <string>

#include <vorn/vorn.h>

#include "fixture_tree.h"

namespace vorn_test {

// A single-context graph: a 4000x3000 buffer source feeding program group
// "pg" (stream 0) whose body is kernels; its ports "input" (id 0) and
// "output" (id 1) lead from the source and to the sink "out"; port "off"
// (id 2) is disabled.
inline std::string singleContextGraph(const std::string &kernels, const std::string &extra = "")
{
    return R"(<graph_descriptor><source name="buffer_src0">
      <port name="port_0" id="0" direction="1" width="4000" height="3000" peer="pg:input"/></source>
      <program_group name="pg" stream_id="0" exec_ctx_id="0">
        <port name="input" id="0" direction="0" peer="buffer_src0:port_0"/>
        <port name="output" id="1" direction="1" peer="out"/>
        <port name="off" id="2" direction="1" enabled="0"/>)" +
           kernels + R"(</program_group><sink name="out" stream_id="0" peer="pg:output"/>)" + extra +
           "</graph_descriptor>";
}

struct KorGraph {
    Tree tree;
    Vorn::TolKorUtils kor;
    Vorn::status_t status;

    explicit KorGraph(Tree loaded, bool useStreamId = true)
        : tree(std::move(loaded)), kor(useStreamId), status(kor.initKorUtils(tree.get()))
    {
    }

    Vorn::IGraphConfig *node(const std::string &path) { return tree->getDescendantByString(path); }
    // The run kernels of a context (kernel_count 0 when there are none).
    ve_isp_tol_program_group context(int32_t id)
    {
        ve_isp_tol_program_group group{0, nullptr, -1};
        kor.getProgramGroup(id, group);
        return group;
    }
};

}  // namespace vorn_test

#endif
