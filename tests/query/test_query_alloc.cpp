// Memory running out inside a query and createGraph: every allocation of a
// small query and result graph is made to fail in turn. Each run must end in
// a status (never an exception), a success must be the complete graph, and
// nothing may stay allocated once the result is destroyed.
//
// This executable replaces the global allocation functions, and it has its
// own log sink, which discards lines without allocating.
#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>

#include <gtest/gtest.h>

#include <vorn/vorn.h>

#include "fixture_tree.h"

namespace {
// Allocations left before the one that fails; negative: none fails.
std::atomic<long> gCountdown{-1};
std::atomic<long> gLive{0};
bool gInjected = false;

void *allocate(std::size_t size)
{
    if (gCountdown.load() >= 0 && gCountdown.fetch_sub(1) == 0) {
        gInjected = true;
        throw std::bad_alloc();
    }
    void *memory = std::malloc(size != 0 ? size : 1);
    if (memory == nullptr)
        throw std::bad_alloc();
    ++gLive;
    return memory;
}

void release(void *memory) noexcept
{
    if (memory != nullptr) {
        --gLive;
        std::free(memory);
    }
}
}  // namespace

void *operator new(std::size_t size) { return allocate(size); }
void *operator new[](std::size_t size) { return allocate(size); }
void *operator new(std::size_t size, const std::nothrow_t &) noexcept
{
    try {
        return allocate(size);
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}
void *operator new[](std::size_t size, const std::nothrow_t &tag) noexcept { return operator new(size, tag); }
void operator delete(void *memory) noexcept { release(memory); }
void operator delete[](void *memory) noexcept { release(memory); }
void operator delete(void *memory, std::size_t) noexcept { release(memory); }
void operator delete[](void *memory, std::size_t) noexcept { release(memory); }
void operator delete(void *memory, const std::nothrow_t &) noexcept { release(memory); }
void operator delete[](void *memory, const std::nothrow_t &) noexcept { release(memory); }

extern "C" __attribute__((visibility("default"), format(printf, 3, 0))) void
ve_log_common_vdebug(uint32_t, const char *, const char *, va_list)
{}

using namespace Vorn;

namespace {

// The tree as text, one line per item, children in their order.
std::string render(const IGraphConfig *root)
{
    std::string text;
    struct Frame {
        const GraphConfigNode *node;
        GraphConfigNode::const_iterator next;
        std::string indent;
    };
    std::vector<Frame> stack{{GraphConfigNode::from(root), GraphConfigNode::from(root)->begin(), ""}};
    while (!stack.empty()) {
        Frame &top = stack.back();
        if (top.next == top.node->end()) {
            stack.pop_back();
            continue;
        }
        const auto child = *top.next++;
        const std::string indent = top.indent;
        text += indent + ItemUID::key2str(child.first);
        int32_t number = 0;
        std::string value;
        if (child.second->type == ItemType::NODE) {
            text += "\n";
            const auto *node = static_cast<const GraphConfigNode *>(child.second);
            stack.push_back({node, node->begin(), indent + " "});
        } else if (child.second->getValue(number) == err_none) {
            text += "=" + std::to_string(number) + "\n";
        } else if (child.second->getValue(value) == err_none) {
            text += "='" + value + "'\n";
        }
    }
    return text;
}

struct Outcome {
    status_t query = err_general;
    status_t create = err_general;
    std::string graph;
    bool threw = false;
};

// Queries settings key 1 and builds its graph; the graph is destroyed and
// every allocation of the run released before it returns.
Outcome queryAndCreate(const IGraphConfig *descriptor, const IGraphConfig *settings, const SearchQuery &query)
{
    Outcome outcome;
    try {
        GraphQueryManager manager;
        manager.setGraphDescriptor(descriptor);
        manager.setGraphSettings(settings);
        GraphConfigList found;
        outcome.query = manager.queryGraphs(query, found, true);
        if (outcome.query == err_none && !found.empty()) {
            IGraphConfig *graph = nullptr;
            outcome.create = manager.createGraph(found.front(), &graph);
            if (graph == nullptr) {
                outcome.create = err_internal;
            } else {
                // Rendering is the test's own work; destruction is left out of
                // the sweep (it is no operation that can fail).
                gCountdown = -1;
                if (outcome.create == err_none)
                    outcome.graph = render(graph);
                manager.destroyGraph(graph);
            }
        }
    } catch (...) {
        outcome.threw = true;
    }
    return outcome;
}

TEST(QueryAllocationFailures, EveryFailingAllocationIsAStatusAndLeavesNothingBehind)
{
    const vorn_test::Tree descriptor = vorn_test::loadTree("result_descriptor.xml");
    const vorn_test::Tree settings = vorn_test::loadTree("result_settings.xml");
    ASSERT_TRUE(descriptor && settings);
    const SearchQuery query{{ItemUID{key_key}, "1"}};

    const Outcome reference = queryAndCreate(descriptor.get(), settings.get(), query);
    ASSERT_EQ(reference.create, err_none);
    ASSERT_FALSE(reference.graph.empty());

    long failAt = 0;
    for (bool injected = true; injected; ++failAt) {
        const long liveBefore = gLive.load();
        {
            gCountdown = failAt;
            gInjected = false;
            const Outcome outcome = queryAndCreate(descriptor.get(), settings.get(), query);
            gCountdown = -1;
            injected = gInjected;
            ASSERT_FALSE(outcome.threw) << "allocation " << failAt;
            if (outcome.query == err_none && outcome.create == err_none) {
                ASSERT_EQ(outcome.graph, reference.graph) << "allocation " << failAt;
            }
        }
        ASSERT_EQ(gLive.load(), liveBefore) << "allocation " << failAt;
    }
    EXPECT_GT(failAt, 100);
}

}  // namespace
