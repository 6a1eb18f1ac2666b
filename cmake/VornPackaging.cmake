# Installation: libraries, public headers, a CMake package and pkg-config files.
include(CMakePackageConfigHelpers)

install(TARGETS vorn venvm vecoord
        EXPORT VornTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

install(DIRECTORY
          ${PROJECT_SOURCE_DIR}/ve_cipr/include/
          ${PROJECT_SOURCE_DIR}/ve_tools/include/
          ${PROJECT_SOURCE_DIR}/ve_camera/vorn/include/
          ${PROJECT_SOURCE_DIR}/nvm/include/
          ${PROJECT_SOURCE_DIR}/coordinate/include/
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        FILES_MATCHING PATTERN "*.h" PATTERN "*.def")

set(VORN_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Vorn)
install(EXPORT VornTargets NAMESPACE Vorn:: DESTINATION ${VORN_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/VornConfig.cmake.in
    ${PROJECT_BINARY_DIR}/VornConfig.cmake
    INSTALL_DESTINATION ${VORN_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/VornConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/VornConfig.cmake ${PROJECT_BINARY_DIR}/VornConfigVersion.cmake
        DESTINATION ${VORN_CMAKE_DIR})

# pkg-config files locate the prefix from their own place, so an install
# moved to another prefix still works.
file(RELATIVE_PATH VORN_PC_TO_PREFIX "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
string(REGEX REPLACE "/$" "" VORN_PC_TO_PREFIX "${VORN_PC_TO_PREFIX}")
foreach(pc vorn venvm vecoord)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/${pc}.pc.in ${PROJECT_BINARY_DIR}/${pc}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/${pc}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endforeach()
