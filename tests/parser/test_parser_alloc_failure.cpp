// Loading and copying under allocation failure: every allocation of a small
// load (and of a copy of its tree) is made to fail once in turn. Each run
// must end with a status or a null tree, never with an exception or a
// crash, and must give back every block it took.
//
// This program replaces operator new; it does not define the log sink, so
// the library's own sink discards the failure messages.
#include <cstdlib>
#include <functional>
#include <new>
#include <string>

#include <gtest/gtest.h>

#include <vorn/vorn.h>

namespace {

long gFailAt = -1;  // allocations left before the one that fails; -1: none fails
bool gCounting = false;
long gLive = 0;        // blocks taken minus blocks given back while counting
long gTaken = 0;       // blocks taken while counting
bool gFailed = false;  // the chosen allocation has failed

void *take(std::size_t size)
{
    if (gFailAt >= 0 && gFailAt-- == 0) {
        gFailed = true;
        return nullptr;
    }
    void *block = std::malloc(size != 0 ? size : 1);
    if (block != nullptr && gCounting) {
        ++gLive;
        ++gTaken;
    }
    return block;
}

void give(void *block)
{
    if (block != nullptr && gCounting)
        --gLive;
    std::free(block);
}

}  // namespace

void *operator new(std::size_t size)
{
    void *block = take(size);
    if (block == nullptr)
        throw std::bad_alloc();
    return block;
}
void *operator new[](std::size_t size) { return operator new(size); }
void *operator new(std::size_t size, const std::nothrow_t &) noexcept { return take(size); }
void *operator new[](std::size_t size, const std::nothrow_t &) noexcept { return take(size); }
void operator delete(void *block) noexcept { give(block); }
void operator delete[](void *block) noexcept { give(block); }
void operator delete(void *block, std::size_t) noexcept { give(block); }
void operator delete[](void *block, std::size_t) noexcept { give(block); }

using namespace Vorn;

namespace {

const std::string kData = VORN_TEST_DATA_DIR;

size_t itemCount(const GraphConfigNode *node)
{
    size_t count = 0;
    for (const auto &child : node->children()) {
        ++count;
        if (child.second->type == ItemType::NODE)
            count += itemCount(static_cast<const GraphConfigNode *>(child.second));
    }
    return count;
}

// Runs job with the n-th allocation failing, for n = 0, 1, ... until a run
// sees no failure. Every run must release all it allocated, keys it
// generated included; a run that still yields a tree must yield the whole
// tree (and keeps its keys: the table is put back for the next run).
void sweep(const char *what, const std::function<IGraphConfig *()> &job, size_t wholeTree)
{
    KeyMap keys;
    getVornKeys(keys);
    for (long n = 0;; ++n) {
        gLive = 0;
        gFailed = false;
        gCounting = true;
        gFailAt = n;
        IGraphConfig *tree = nullptr;
        EXPECT_NO_THROW(tree = job()) << what << " failing allocation " << n;
        gFailAt = -1;
        if (tree != nullptr) {
            EXPECT_EQ(itemCount(GraphConfigNode::from(tree)), wholeTree) << what << " failing allocation " << n;
        } else {
            EXPECT_EQ(vorn_key_map.size(), keys.size()) << what << " failing allocation " << n << " keeps its keys";
        }
        const bool keptKeys = vorn_key_map.size() != keys.size();
        delete tree;
        gCounting = false;
        if (keptKeys) {
            copyVornKeys(keys);
            ItemUID::key2str(0);  // the table's id index is rebuilt outside the runs
        } else {
            EXPECT_EQ(gLive, 0) << what << " failing allocation " << n << " leaks";
        }
        if (!gFailed)
            break;
    }
}

IGraphConfig *loadFile(const std::string &path)
{
    VornParser parser;
    IGraphConfig *tree = nullptr;
    parser.parseVornXmlFile(path, &tree);
    return tree;
}

}  // namespace

TEST(AllocationFailure, LoadsAndCopiesReleaseEverything)
{
    // The document's names are new to the key table: every failed load
    // takes the keys it generated back. The first load that succeeds keeps
    // them.
    const std::string plain = kData + "/descriptor.xml";
    KeyMap predefined;
    getVornKeys(predefined);
    IGraphConfig *reference = loadFile(plain);
    ASSERT_NE(reference, nullptr);
    const size_t whole = itemCount(GraphConfigNode::from(reference));
    delete reference;
    copyVornKeys(predefined);
    ItemUID::key2str(0);  // the table's id index is rebuilt outside the sweep
    sweep(
        "new names", [&plain] { return loadFile(plain); }, whole);
    reference = loadFile(plain);

    const std::string gzip = kData + "/descriptor.gz";
    sweep(
        "plain file", [&plain] { return loadFile(plain); }, whole);
    sweep(
        "gzip file", [&gzip] { return loadFile(gzip); }, whole);
    const std::string text = [] {
        FILE *file = std::fopen((kData + "/descriptor.xml").c_str(), "rb");
        std::string content;
        char chunk[4096];
        for (size_t got; file != nullptr && (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
            content.append(chunk, got);
        if (file != nullptr)
            std::fclose(file);
        return content;
    }();
    sweep(
        "memory",
        [&text] {
            VornParser parser;
            IGraphConfig *tree = nullptr;
            parser.parseVornXmlData(text.data(), text.size(), &tree);
            return tree;
        },
        whole);
    sweep(
        "copy", [reference] { return GraphConfigNode::from(reference)->copy(); }, whole);
    delete reference;
}

TEST(AllocationFailure, WideElementsOutOfKeyOrderTakeNoBlockEach)
{
    // 500 elements of 40 children each, every element's children in
    // descending key order with pairs of equal keys: each is sorted when it
    // closes, and sorting must not take a block per element.
    const char *names[] = {"width",  "stride",  "port", "options", "node", "kernel", "id",    "height",
                           "format", "enabled", "bpp",  "apply",   "name", "fps",    "input", "output"};
    std::string text = "<graph_settings version='1'>";
    for (int element = 0; element < 500; ++element) {
        text += "<settings>";
        for (int child = 0; child < 40; ++child)
            text += "<" + std::string(names[(child / 2) % 16]) + " id='" + std::to_string(child) + "'/>";
        text += "</settings>";
    }
    text += "</graph_settings>";

    // A first load gives the names their keys; the second is counted.
    VornParser parser;
    IGraphConfig *tree = nullptr;
    parser.parseVornXmlData(text.data(), text.size(), &tree);
    delete tree;
    tree = nullptr;
    gTaken = 0;
    gCounting = true;
    parser.parseVornXmlData(text.data(), text.size(), &tree);
    gCounting = false;
    ASSERT_NE(tree, nullptr);
    EXPECT_LT(gTaken, 100) << "blocks taken for 20,500 elements, 500 of them sorted";

    // Every element: keys ascending, equal keys in document order.
    size_t checked = 0;
    const auto all = GraphConfigNode::from(tree)->children().equal_range(key_settings);
    for (auto entry = all.first; entry != all.second; ++entry) {
        ASSERT_EQ(entry->second->type, ItemType::NODE);
        const auto *settings = static_cast<const GraphConfigNode *>(entry->second);
        KeyId previousKey = 0;
        int32_t previousId = -1;
        for (const auto &child : settings->children()) {
            int32_t id = -1;
            ASSERT_EQ(child.second->type, ItemType::NODE);
            ASSERT_EQ(static_cast<const GraphConfigNode *>(child.second)->getValue(key_id, id), err_none);
            ASSERT_LE(previousKey, child.first);
            if (child.first == previousKey) {
                EXPECT_LT(previousId, id);
            }
            previousKey = child.first;
            previousId = id;
        }
        checked += settings->getDescendantCount() == 40 ? 1 : 0;
    }
    EXPECT_EQ(checked, 500u);
    delete tree;
}
