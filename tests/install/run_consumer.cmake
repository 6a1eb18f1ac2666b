# Script mode: install into WORK_DIR/prefix, build the consumer, run it.
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)

function(run)
  execute_process(COMMAND ${ARGV} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGV}\n${out}\n${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
foreach(f include/vorn/vorn.h include/ve_cipr/ve_log_common.h include/ve_tools/ve_list.h
          include/venvm/ve_nvm.h include/vecoord/ve_coordinate.h
          lib/cmake/Vorn/VornConfig.cmake lib/pkgconfig/vorn.pc)
  if(NOT EXISTS ${prefix}/${f})
    file(GLOB_RECURSE found RELATIVE ${prefix} ${prefix}/*)
    message(FATAL_ERROR "missing ${f} in the install; found: ${found}")
  endif()
endforeach()

# A sanitized build of the libraries needs a sanitized consumer.
set(extra_flags "")
if(SANITIZE)
  set(extra_flags "-fsanitize=${SANITIZE}")
endif()

# find_package
run(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR}/build -G ${GENERATOR}
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${CXX} "-DCMAKE_CXX_FLAGS=${extra_flags}")
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build)
run(${WORK_DIR}/build/vorn_consumer)
if(NOT last_output MATCHES "port.format")
  message(FATAL_ERROR "unexpected consumer output: ${last_output}")
endif()

# pkg-config
find_program(PKG_CONFIG pkg-config pkgconf)
if(PKG_CONFIG)
  set(ENV{PKG_CONFIG_PATH} ${prefix}/lib/pkgconfig)
  foreach(lib vorn venvm vecoord)
    run(${PKG_CONFIG} --cflags --libs ${lib})
    string(STRIP "${last_output}" flags_${lib})
    separate_arguments(flags_${lib} UNIX_COMMAND "${flags_${lib}}")
  endforeach()
  run(${CXX} -std=c++17 ${extra_flags} ${CONSUMER_DIR}/main.cpp -o ${WORK_DIR}/pc_consumer
      ${flags_vorn} ${flags_venvm} ${flags_vecoord} -Wl,-rpath,${prefix}/lib)
  run(${WORK_DIR}/pc_consumer)
endif()
