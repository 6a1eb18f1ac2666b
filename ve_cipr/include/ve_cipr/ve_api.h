/* Export and compiler-check annotations shared by the libvorn C interface. */
#ifndef VE_CIPR_VE_API_H
#define VE_CIPR_VE_API_H

#if defined(__GNUC__) || defined(__clang__)
#define VE_API __attribute__((visibility("default")))
#define VE_PRINTF(fmt_index, first_arg) __attribute__((format(printf, fmt_index, first_arg)))
#else
#define VE_API
#define VE_PRINTF(fmt_index, first_arg)
#endif

#ifdef __cplusplus
#define VE_EXTERN_C_BEGIN extern "C" {
#define VE_EXTERN_C_END }
#else
#define VE_EXTERN_C_BEGIN
#define VE_EXTERN_C_END
#endif

#endif
