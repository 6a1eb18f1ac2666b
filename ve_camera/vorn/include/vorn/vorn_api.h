// Export annotation of the libvorn C++ interface.
#ifndef VORN_VORN_API_H
#define VORN_VORN_API_H

#include <ve_cipr/ve_api.h>

#define VORN_API VE_API

#endif
