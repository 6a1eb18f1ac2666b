/*
 * Fuzz target of libvenvm: every input that parses is serialised and parsed
 * again; the two records must agree field by field, and serialising the
 * second record must give the same bytes again.
 *
 * Expected differences: the writer picks the version from the sections
 * present (2 with PDAF or tail, else 1), always writes revision 1, and
 * writes a missing (null) array as zeros, so a skipped DLOM returns as an
 * all-zero one. The checksum follows the bytes and is compared through the
 * second serialisation.
 */
#include <venvm/ve_nvm.h>

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

static int all_zero(const void *p, size_t n)
{
    const uint8_t *b = p;
    for (size_t i = 0; i < n; i++) {
        if (b[i])
            return 0;
    }
    return 1;
}

/* Arrays of `n` bytes; a null array stands for zeros. */
static int same_array(const void *a, const void *b, size_t n)
{
    if (n == 0)
        return 1;
    if (!a && !b)
        return 1;
    if (!a || !b)
        return all_zero(a ? a : b, n);
    return memcmp(a, b, n) == 0;
}

static void check(int ok)
{
    if (!ok)
        abort();
}

static void compare(const ve_nvm *a, const ve_nvm *b)
{
    check(b->version == ((a->pdaf_present || a->tail_present) ? 2 : 1));
    check(b->revision == 1);
    check(a->af_count == b->af_count && a->aux_byte == b->aux_byte && a->vmc_bit_depth == b->vmc_bit_depth);
    for (int k = 0; k < 4; k++)
        check(same_array(a->af_data[k], b->af_data[k], (size_t)a->af_count * 2));

    size_t n = a->light_source_count;
    check(n == b->light_source_count);
    check(same_array(a->light_source_info0, b->light_source_info0, n));
    check(same_array(a->light_source_info1, b->light_source_info1, n));
    check(a->lsc_width == b->lsc_width && a->lsc_height == b->lsc_height);
    check(!a->lsc == !b->lsc);
    if (a->lsc) {
        size_t samples = (size_t)a->lsc_width * a->lsc_height;
        for (size_t i = 0; i < n; i++) {
            check(a->lsc[i].bit_depth == b->lsc[i].bit_depth);
            size_t bytes = samples * (a->lsc[i].bit_depth > 8 ? 2 : 1);
            for (int c = 0; c < 4; c++)
                check(same_array(a->lsc[i].channel[c], b->lsc[i].channel[c], bytes));
        }
    }
    for (int k = 0; k < 4; k++)
        check(same_array(a->awb[k], b->awb[k], n * 2));

    check(a->pdaf_present == b->pdaf_present && !a->pdaf == !b->pdaf);
    if (a->pdaf) {
        const ve_nvm_pdaf *p = a->pdaf, *q = b->pdaf;
        check(p->table_count == q->table_count && p->grid_width == q->grid_width && p->grid_height == q->grid_height &&
              p->aux == q->aux);
        size_t gains = (size_t)p->grid_width * p->grid_height * 2;
        for (size_t t = 0; t < p->table_count; t++) {
            check(same_array(p->tables[t].left, q->tables[t].left, gains));
            check(same_array(p->tables[t].right, q->tables[t].right, gains));
        }
        check(p->dlom_width == q->dlom_width && p->dlom_height == q->dlom_height && p->dlom_aux == q->dlom_aux);
        check(q->dlom != NULL);
        check(same_array(p->dlom, q->dlom, (size_t)p->dlom_width * p->dlom_height * 4));
    }
    check(a->tail_present == b->tail_present && !a->tail == !b->tail);
    if (a->tail)
        check(a->tail->value32 == b->tail->value32 && a->tail->value16 == b->tail->value16);
}

int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > UINT32_MAX)
        return 0;
    /* An exact-size copy, so that reads past the end are caught. */
    uint8_t *copy = malloc(size ? size : 1);
    if (!copy)
        return 0;
    if (size)
        memcpy(copy, data, size);
    ve_nvm_blob blob = {copy, (uint32_t)size};
    ve_nvm *first = NULL;
    int32_t status = ve_nvm_parse(&blob, &first);
    check((status == VE_NVM_OK) == (first != NULL));
    if (first) {
        ve_nvm_blob *written = ve_nvm_binary_create(first);
        check(written != NULL);
        ve_nvm *second = NULL;
        check(ve_nvm_parse(written, &second) == VE_NVM_OK);
        compare(first, second);

        ve_nvm_blob *again = ve_nvm_binary_create(second);
        check(again != NULL && again->size == written->size && memcmp(again->data, written->data, again->size) == 0);
        check(second->crc == (uint16_t)(written->data[written->size - 2] | written->data[written->size - 1] << 8));
        ve_nvm_binary_delete(again);
        ve_nvm_deinit(second);
        ve_nvm_binary_delete(written);
        ve_nvm_deinit(first);
    }
    free(copy);
    return 0;
}
