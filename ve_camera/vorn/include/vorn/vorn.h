// Everything a client of libvorn needs: include this header and link libvorn.
#ifndef VORN_VORN_H
#define VORN_VORN_H

#include <ve_cipr/ve_cipr.h>
#include <ve_cipr/ve_cipr_buffer.h>
#include <ve_cipr/ve_dump.h>
#include <ve_cipr/ve_log_common.h>
#include <ve_cipr/ve_status.h>
#include <ve_tools/ve_list.h>

#include <vorn/formats.h>
#include <vorn/graph_camera_util.h>
#include <vorn/graph_config.h>
#include <vorn/graph_lum_util.h>
#include <vorn/graph_query_utils.h>
#include <vorn/graph_query_manager.h>
#include <vorn/graph_util.h>
#include <vorn/isp_utils.h>
#include <vorn/keys.h>
#include <vorn/tol_kor_utils.h>
#include <vorn/vorn_parser.h>
#include <vorn/status.h>
#include <vorn/tol_kor_sim_utils.h>
#include <vorn/ve_formats.h>
#include <vorn/ve_isp_records.h>

#endif
