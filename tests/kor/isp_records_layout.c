/* The ISP records as a strict C11 compiler lays them out (the header's own
   static assertions run here as well). */
#include <vorn/ve_isp_records.h>

void vorn_test_isp_records_c_layout(size_t layout[5])
{
    layout[0] = sizeof(ve_isp_tol_resolution_info);
    layout[1] = sizeof(ve_isp_tol_run_kernels);
    layout[2] = offsetof(ve_isp_tol_run_kernels, bpp_info) + offsetof(ve_isp_tol_bpp_info, output_bpp);
    layout[3] = offsetof(ve_isp_tol_run_kernels, reserved);
    layout[4] = offsetof(ve_isp_tol_program_group, tuning_mode);
}
