// The ISP records read the same bytes from C and from C++.
#include <cstddef>

#include <gtest/gtest.h>

#include <vorn/vorn.h>

extern "C" void vorn_test_isp_records_c_layout(size_t layout[5]);

TEST(IspRecords, CAndCppAgreeOnTheLayout)
{
    size_t c[5] = {};
    vorn_test_isp_records_c_layout(c);
    EXPECT_EQ(c[0], sizeof(ve_isp_tol_resolution_info));
    EXPECT_EQ(c[1], sizeof(ve_isp_tol_run_kernels));
    EXPECT_EQ(c[2], offsetof(ve_isp_tol_run_kernels, bpp_info) + offsetof(ve_isp_tol_bpp_info, output_bpp));
    EXPECT_EQ(c[3], offsetof(ve_isp_tol_run_kernels, reserved));
    EXPECT_EQ(c[4], offsetof(ve_isp_tol_program_group, tuning_mode));
}
