# Compiler settings shared by every target of the project.
find_package(Threads REQUIRED)

set(VORN_WARNINGS -Wall -Wextra -Wformat=2 -Wformat-security -Wshadow -Wpointer-arith
    -Wcast-align -Wundef -Wvla)
if(VORN_WERROR)
  list(APPEND VORN_WARNINGS -Werror)
endif()

if(VORN_SANITIZE)
  add_compile_options(-fsanitize=${VORN_SANITIZE} -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=${VORN_SANITIZE} -fno-sanitize-recover=all)
endif()

# Libraries must let a host executable replace the log sink, so calls inside
# the library to exported functions stay interposable.
function(vorn_target_defaults target)
  target_compile_options(${target} PRIVATE ${VORN_WARNINGS})
  if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    target_compile_options(${target} PRIVATE -fsemantic-interposition)
  endif()
  get_target_property(type ${target} TYPE)
  # Sanitizer runtimes are linked into executables only, so shared libraries
  # of a sanitized build keep undefined references to them.
  if(type STREQUAL "SHARED_LIBRARY" AND NOT VORN_SANITIZE)
    target_link_options(${target} PRIVATE -Wl,--no-undefined -Wl,-z,defs)
  endif()
endfunction()
