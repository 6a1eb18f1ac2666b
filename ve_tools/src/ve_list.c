/* Singly linked list; elements come from the counted allocator. */
#include <ve_tools/ve_list.h>

#include <stddef.h>

#include <ve_cipr/ve_cipr.h>
#include <ve_cipr/ve_log_common.h>
#include <ve_cipr/ve_status.h>

#define LOG_TAG "VE_LIST[XOS]"
#define LIST_SOURCE "ve_tools/ve_list"

ve_list *ve_list_create(void)
{
    return ve_cipr_calloc(1, sizeof(ve_list), __func__, LIST_SOURCE, __LINE__);
}

void ve_list_destroy(ve_list *element)
{
    if (element != NULL)
        ve_cipr_free(element, __func__);
}

int32_t ve_list_prepend(ve_list **list, void *data)
{
    if (list == NULL)
        return err_argument;
    ve_list *element = ve_list_create();
    if (element == NULL) {
        ve_log_common_debug(VE_LOG_ERROR, LOG_TAG, "could not create new list element");
        return err_nomemory;
    }
    element->data = data;
    element->next = *list;
    *list = element;
    return err_none;
}

int32_t ve_list_append(ve_list **list, void *data)
{
    if (list == NULL)
        return err_argument;
    ve_list *element = ve_list_create();
    if (element == NULL) {
        ve_log_common_debug(VE_LOG_ERROR, LOG_TAG, "could not create new list element");
        return err_nomemory;
    }
    element->data = data;
    ve_list **tail = list;
    while (*tail != NULL)
        tail = &(*tail)->next;
    *tail = element;
    return err_none;
}

int ve_list_contains(const ve_list *list, const void *data)
{
    for (; list != NULL; list = list->next)
        if (list->data == data)
            return 1;
    return 0;
}

void *ve_list_data_at(const ve_list *list, uint32_t index)
{
    for (; list != NULL; list = list->next, --index)
        if (index == 0)
            return list->data;
    return NULL;
}

uint32_t ve_list_length(const ve_list *list)
{
    uint32_t length = 0;
    for (; list != NULL; list = list->next)
        ++length;
    return length;
}

int ve_list_remove(ve_list **list, const void *data)
{
    if (list == NULL)
        return 0;
    for (ve_list **link = list; *link != NULL; link = &(*link)->next) {
        if ((*link)->data == data) {
            ve_list *found = *link;
            *link = found->next;
            ve_list_destroy(found);
            return 1;
        }
    }
    return 0;
}
