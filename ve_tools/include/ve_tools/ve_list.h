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

/* A new zeroed element from the counted allocator; NULL when out of memory. */
VE_API ve_list *ve_list_create(void);
/* Frees the one element given, not the elements after it nor its data:
 * freeing a list means walking it. NULL is ignored. */
VE_API void ve_list_destroy(ve_list *element);
/* Add data at the front or the end of *list (NULL is the empty list).
 * err_argument for a null list pointer; err_nomemory, with an error line
 * under "VE_LIST[XOS]", when no element can be allocated (the list is then
 * unchanged). The list never owns data. */
VE_API int32_t ve_list_prepend(ve_list **list, void *data);
VE_API int32_t ve_list_append(ve_list **list, void *data);
/* 1 when an element holds data, else 0. */
VE_API int ve_list_contains(const ve_list *list, const void *data);
/* The data of element index (0 first); NULL past the end. */
VE_API void *ve_list_data_at(const ve_list *list, uint32_t index);
VE_API uint32_t ve_list_length(const ve_list *list);
/* Unlinks and frees the first element holding data (not data itself): 1
 * when one was removed, 0 when none holds it or list is NULL. */
VE_API int ve_list_remove(ve_list **list, const void *data);

VE_EXTERN_C_END

#endif
