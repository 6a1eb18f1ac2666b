// Counted allocation, fault injection, bounded copy and format, file wrappers.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include <vorn/vorn.h>

#include "log_capture.h"

using vorn_test::LogCapture;

namespace {
const std::string kAllocTag = "CIPR_ALLOC[XOS]";

class FailGuard {
public:
    FailGuard() : mSaved(g_alloc_error) {}
    ~FailGuard() { g_alloc_error = mSaved; }

private:
    uint32_t mSaved;
};
}  // namespace

TEST(Memory, AllocationsAreCountedAndTraced)
{
    LogCapture log;
    const uint32_t allocs = g_alloc_counter;
    const uint32_t frees = g_free_counter;

    void *a = ve_cipr_malloc(16, "caller_a", __FILE__, __LINE__);
    void *b = ve_cipr_calloc(3, 8, "caller_b", __FILE__, __LINE__);
    void *c = ve_cipr_alloc_aligned(100, 64, "caller_c", __FILE__, __LINE__);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(c) % 64, 0u);
    EXPECT_EQ(std::memcmp(b, std::string(24, '\0').data(), 24), 0);
    EXPECT_EQ(g_alloc_counter, allocs + 3);

    char expected[256];
    std::snprintf(expected, sizeof expected, "E:ve_cipr_malloc size 16 from caller_a res ptr: %p", a);
    EXPECT_TRUE(log.has(VE_LOG_ALLOC, kAllocTag, expected)) << log.dump();
    std::snprintf(expected, sizeof expected, "E:ve_cipr_calloc nmemb 3 size 8 from caller_b res ptr: %p", b);
    EXPECT_TRUE(log.has(VE_LOG_ALLOC, kAllocTag, expected)) << log.dump();
    std::snprintf(expected, sizeof expected,
                  "E:ve_cipr_alloc_aligned size 100 with alignment 64 from caller_c res ptr: %p", c);
    EXPECT_TRUE(log.has(VE_LOG_ALLOC, kAllocTag, expected)) << log.dump();

    ve_cipr_free(a, "caller_a");
    ve_cipr_free(b, "caller_b");
    ve_cipr_free(c, "caller_c");
    ve_cipr_free(nullptr, "caller_null");
    EXPECT_EQ(g_free_counter, frees + 3);
    std::snprintf(expected, sizeof expected, "E:ve_cipr_free ptr %p from caller_a", a);
    EXPECT_TRUE(log.has(VE_LOG_ALLOC, kAllocTag, expected));
    EXPECT_TRUE(log.contains("from caller_null"));

    // A bad alignment fails without counting; a huge calloc fails the same way.
    EXPECT_EQ(ve_cipr_alloc_aligned(16, 3, "bad", __FILE__, __LINE__), nullptr);
    EXPECT_EQ(ve_cipr_calloc(SIZE_MAX / 2, 4, "huge", __FILE__, __LINE__), nullptr);
    EXPECT_EQ(g_alloc_counter, allocs + 3);

    ve_cipr_inc_alloc_counter();
    ve_cipr_inc_free_counter();
    EXPECT_EQ(g_alloc_counter, allocs + 4);
    EXPECT_EQ(g_free_counter, frees + 4);
}

TEST(Memory, InjectedFailureStopsEveryLaterAllocation)
{
    FailGuard guard;
    const uint32_t allocs = g_alloc_counter;
    g_alloc_error = g_alloc_counter + 1;
    EXPECT_FALSE(ve_cipr_check_alloc_error());
    void *first = ve_cipr_malloc(8, "t", __FILE__, __LINE__);
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(ve_cipr_check_alloc_error());

    LogCapture log;
    EXPECT_EQ(ve_cipr_malloc(8, "t", __FILE__, __LINE__), nullptr);
    EXPECT_EQ(ve_cipr_calloc(1, 8, "t", __FILE__, __LINE__), nullptr);
    EXPECT_EQ(ve_cipr_alloc_aligned(8, 16, "t", __FILE__, __LINE__), nullptr);
    EXPECT_EQ(ve_cipr_create(), nullptr);
    EXPECT_EQ(g_alloc_counter, allocs + 1);
    EXPECT_FALSE(log.contains("res ptr")) << "a refused allocation allocates nothing";
    ve_cipr_free(first, "t");
}

TEST(Memory, CiprObjectIsEightZeroBytes)
{
    LogCapture log;
    void *cipr = ve_cipr_create();
    ASSERT_NE(cipr, nullptr);
    EXPECT_EQ(std::memcmp(cipr, "\0\0\0\0\0\0\0\0", 8), 0);
    EXPECT_TRUE(log.has(VE_LOG_ENTRY, "VE_CIPR_ANDROID[XOS]", "E:ve_cipr_create"));
    ve_cipr_destroy(cipr);
    ve_cipr_destroy(nullptr);
    EXPECT_GE(ve_cipr_pagesize(), 4096u);
}

TEST(Memory, BoundedCopyAndFormat)
{
    LogCapture log;
    const char src[] = "0123456789";
    char dest[8];
    std::memset(dest, '#', sizeof dest);
    ve_cipr_memcopy(dest, 4, src, 10);
    EXPECT_EQ(std::string(dest, 8), "0123####");
    EXPECT_TRUE(log.has(VE_LOG_WARNING, kAllocTag,
                        "ve_cipr_memcopy: destination size is smaller than source size, potential coding error"));

    log.clear();
    ve_cipr_memcopy(dest, 8, src, 2);
    EXPECT_EQ(std::string(dest, 8), "0123####");
    EXPECT_TRUE(log.lines().empty());
    ve_cipr_memcopy(nullptr, 0, src, 0);
    ve_cipr_memcopy(nullptr, 10, nullptr, 10);

    char text[16];
    EXPECT_EQ(ve_cipr_snprintf_s(text, sizeof text, 5, "%s-%d", "abc", 42), 6);
    EXPECT_STREQ(text, "abc-");
    EXPECT_TRUE(log.lines().empty());
    EXPECT_EQ(ve_cipr_snprintf_s(text, 3, 16, "%d", 12345), 5);
    EXPECT_STREQ(text, "12");
    EXPECT_TRUE(log.has(VE_LOG_WARNING, "CIPR_STRING[XOS]",
                        "ve_cipr_snprintf_s: destination size is smaller than source size, potential coding error"));
    EXPECT_EQ(ve_cipr_snprintf_s(nullptr, 0, 0, "%d", 7), 1);
    EXPECT_EQ(ve_cipr_snprintf_s(nullptr, 10, 10, "%d", 7), 1);
}

TEST(Memory, FileWrappersForwardAndTolerateNull)
{
    const std::string path = std::string(VORN_TEST_BINARY_DIR) + "/wrapper_file.bin";
    FILE *f = ve_cipr_fopen(path.c_str(), "wb+");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(ve_cipr_fwrite("abcdef", 1, 6, f), 6u);
    EXPECT_EQ(ve_cipr_ftell(f), 6);
    EXPECT_EQ(ve_cipr_fseek(f, 2, SEEK_SET), 0);
    char buf[4] = {};
    EXPECT_EQ(ve_cipr_fread(buf, 1, 3, f), 3u);
    EXPECT_EQ(std::string(buf), "cde");
    EXPECT_EQ(ve_cipr_ferror(f), 0);
    ve_cipr_clearerr(f);
    EXPECT_EQ(ve_cipr_fclose(f), 0);
    std::remove(path.c_str());

    EXPECT_EQ(ve_cipr_fopen(nullptr, "rb"), nullptr);
    EXPECT_EQ(ve_cipr_fclose(nullptr), EOF);
    EXPECT_EQ(ve_cipr_fread(buf, 1, 1, nullptr), 0u);
    EXPECT_EQ(ve_cipr_ftell(nullptr), -1);
    EXPECT_EQ(ve_cipr_strnlen("abcdef", 4), 4u);
    EXPECT_EQ(ve_cipr_strnlen(nullptr, 4), 0u);
}
