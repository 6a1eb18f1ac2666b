// The singly linked list.
#include <cstdint>

#include <gtest/gtest.h>

#include <vorn/vorn.h>

#include "log_capture.h"

using vorn_test::LogCapture;

namespace {
void *item(uintptr_t n) { return reinterpret_cast<void *>(n); }

void freeAll(ve_list *list)
{
    while (list != nullptr) {
        ve_list *next = list->next;
        ve_list_destroy(list);
        list = next;
    }
}
}  // namespace

TEST(List, BuildsQueriesAndRemoves)
{
    ve_list *list = nullptr;
    EXPECT_EQ(ve_list_length(list), 0u);
    EXPECT_EQ(ve_list_append(&list, item(2)), err_none);
    EXPECT_EQ(ve_list_append(&list, item(3)), err_none);
    EXPECT_EQ(ve_list_prepend(&list, item(1)), err_none);
    EXPECT_EQ(ve_list_append(&list, item(2)), err_none);
    ASSERT_EQ(ve_list_length(list), 4u);
    EXPECT_EQ(ve_list_data_at(list, 0), item(1));
    EXPECT_EQ(ve_list_data_at(list, 1), item(2));
    EXPECT_EQ(ve_list_data_at(list, 3), item(2));
    EXPECT_EQ(ve_list_data_at(list, 4), nullptr);
    EXPECT_EQ(ve_list_data_at(list, UINT32_MAX), nullptr);
    EXPECT_EQ(ve_list_contains(list, item(3)), 1);
    EXPECT_EQ(ve_list_contains(list, item(9)), 0);

    // Removing the head moves the list to the next element; only the first
    // of two equal entries goes.
    const uint32_t frees = g_free_counter;
    EXPECT_EQ(ve_list_remove(&list, item(1)), 1);
    EXPECT_EQ(ve_list_data_at(list, 0), item(2));
    EXPECT_EQ(ve_list_remove(&list, item(2)), 1);
    EXPECT_EQ(ve_list_length(list), 2u);
    EXPECT_EQ(ve_list_data_at(list, 0), item(3));
    EXPECT_EQ(ve_list_data_at(list, 1), item(2));
    EXPECT_EQ(ve_list_remove(&list, item(9)), 0);
    EXPECT_EQ(g_free_counter, frees + 2);
    EXPECT_EQ(ve_list_remove(&list, item(2)), 1);
    EXPECT_EQ(ve_list_remove(&list, item(3)), 1);
    EXPECT_EQ(list, nullptr);

    ve_list *single = ve_list_create();
    ASSERT_NE(single, nullptr);
    EXPECT_EQ(single->data, nullptr);
    EXPECT_EQ(single->next, nullptr);
    ve_list_destroy(single);
}

TEST(List, NullArgumentsAreRejected)
{
    EXPECT_EQ(ve_list_append(nullptr, item(1)), err_argument);
    EXPECT_EQ(ve_list_prepend(nullptr, item(1)), err_argument);
    EXPECT_EQ(ve_list_remove(nullptr, item(1)), 0);
    ve_list *empty = nullptr;
    EXPECT_EQ(ve_list_remove(&empty, item(1)), 0);
    EXPECT_EQ(ve_list_contains(nullptr, nullptr), 0);
    EXPECT_EQ(ve_list_data_at(nullptr, 0), nullptr);
    ve_list_destroy(nullptr);
}

TEST(List, EveryAllocationFailureOfABuildIsReported)
{
    // Build a list of six, failing the k-th allocation for every k: each call
    // either succeeds or reports err_nomemory, and the list stays intact.
    const uint32_t saved = g_alloc_error;
    for (uint32_t k = 0; k <= 6; ++k) {
        LogCapture log;
        g_alloc_error = g_alloc_counter + k;
        ve_list *list = nullptr;
        uint32_t added = 0;
        for (uintptr_t i = 0; i < 6; ++i) {
            int32_t status = (i % 2 == 0) ? ve_list_append(&list, item(i)) : ve_list_prepend(&list, item(i));
            if (status == err_none) {
                ++added;
            } else {
                EXPECT_EQ(status, err_nomemory);
            }
        }
        g_alloc_error = saved;
        EXPECT_EQ(added, k < 6 ? k : 6u);
        EXPECT_EQ(ve_list_length(list), added);
        EXPECT_EQ(log.count(VE_LOG_ERROR, "VE_LIST[XOS]", "could not create new list element"), 6u - added);
        freeAll(list);
    }
    g_alloc_error = saved;
}
