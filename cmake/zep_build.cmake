# Shared build settings: warnings, sanitizers and the per-platform source
# selection that keeps operating-system code out of the portable core.

add_library(zep_warnings INTERFACE)
target_compile_options(zep_warnings INTERFACE -Wall -Wextra)
if(ZEP_WERROR)
  target_compile_options(zep_warnings INTERFACE -Werror)
endif()

if(ZEP_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(ZEP_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT ZEP_SANITIZE STREQUAL "")
  message(FATAL_ERROR "ZEP_SANITIZE must be empty, address or thread")
endif()

# The fuzz tree: every library gets libFuzzer's coverage instrumentation and
# ASan+UBSan; tests/fuzz links each target with libFuzzer's driver.
if(ZEP_FUZZ)
  if(WIN32 OR NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "ZEP_FUZZ needs a native clang build (the fuzz preset)")
  endif()
  if(NOT ZEP_SANITIZE STREQUAL "")
    message(FATAL_ERROR "ZEP_FUZZ brings its own sanitizers; leave ZEP_SANITIZE empty")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined
                      -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(WIN32)
  # Windows 7 is the oldest system the service supports.
  add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 WIN32_LEAN_AND_MEAN NOMINMAX)
endif()

# zep_platform_sources(<out-var> <dir>): the .cpp files of <dir>, keeping only
# the backend files (name_win32.cpp / name_posix.cpp) of the target platform.
# main.cpp files are left to the program targets.
function(zep_platform_sources out dir)
  file(GLOB all CONFIGURE_DEPENDS ${dir}/*.cpp)
  list(FILTER all EXCLUDE REGEX "/main\\.cpp$")
  if(WIN32)
    list(FILTER all EXCLUDE REGEX "_posix\\.cpp$")
  else()
    list(FILTER all EXCLUDE REGEX "_win32\\.cpp$")
  endif()
  set(${out} "${all}" PARENT_SCOPE)
endfunction()

# zep_library(<name> <dir>...): a static library of the platform's sources in
# the given folders. A folder set that holds no source yet still yields a
# library, so that the tree builds while parts are being written.
function(zep_library name)
  set(sources "")
  foreach(dir ${ARGN})
    zep_platform_sources(found ${dir})
    list(APPEND sources ${found})
  endforeach()
  if(NOT sources)
    set(stub ${CMAKE_CURRENT_BINARY_DIR}/${name}_empty.cpp)
    if(NOT EXISTS ${stub})
      file(WRITE ${stub} "// No sources yet.\n")
    endif()
    list(APPEND sources ${stub})
  endif()
  add_library(${name} STATIC ${sources})
  target_link_libraries(${name} PRIVATE zep_warnings)
endfunction()
