/* Singly linked list of pointer-sized values. A list is a pointer to its
 * first element; the empty list is NULL. */
#ifndef VE_TOOLS_VE_LIST_H
#define VE_TOOLS_VE_LIST_H

#include <stdint.h>

#include <ve_cipr/ve_api.h>

VE_EXTERN_C_BEGIN

typedef struct ve_list {
    void *data;
    struct ve_list *next;
} ve_list;

VE_API ve_list *ve_list_create(void);
VE_API void ve_list_destroy(ve_list *element);
VE_API int32_t ve_list_prepend(ve_list **list, void *data);
VE_API int32_t ve_list_append(ve_list **list, void *data);
VE_API int ve_list_contains(const ve_list *list, const void *data);
VE_API void *ve_list_data_at(const ve_list *list, uint32_t index);
VE_API uint32_t ve_list_length(const ve_list *list);
VE_API int ve_list_remove(ve_list **list, const void *data);

VE_EXTERN_C_END

#endif
