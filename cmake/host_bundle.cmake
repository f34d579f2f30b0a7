# The bundle for the real host: AutoCAD for macOS loads it as an ObjectARX application.
#
# Included by the top-level CMakeLists.txt when ORVIK_HOST_SDK_DIR is set. It builds the plug-in's
# sources (ORVIK_SOURCES) into one loadable bundle against the SDK's headers, with
# ORVIK_USE_HOST_SDK defined so that host/acad.h takes the SDK instead of cadsim/. Nothing of
# cadsim/, no tests and no benchmarks are built: they need the simulated host.
#
#   cmake -S . -B build/host -G Ninja -DORVIK_HOST_SDK_DIR=/path/to/the/SDK
#   cmake --build build/host
#
# The SDK's layout differs between releases, so everything but its folder can be overridden:
#   ORVIK_HOST_SDK_INCLUDE_DIR   the folder holding arxHeaders.h (default: <SDK>/inc)
#   ORVIK_HOST_SDK_LIBRARIES     libraries to link (default: every .dylib in <SDK>/lib*/)
#   ORVIK_HOST_APP               the host's executable; when given, the bundle is linked against
#                                it (-bundle_loader) and host symbols it exports resolve there
#   ORVIK_HOST_SDK_DEFINITIONS   extra preprocessor definitions the SDK's samples use

set(ORVIK_HOST_SDK_INCLUDE_DIR "${ORVIK_HOST_SDK_DIR}/inc" CACHE PATH "The SDK's header folder (holds arxHeaders.h)")
set(ORVIK_HOST_SDK_LIBRARIES "" CACHE STRING "Libraries of the SDK to link (default: every .dylib in the SDK's lib folders)")
set(ORVIK_HOST_APP "" CACHE FILEPATH "The host application's executable, for -bundle_loader (optional)")
set(ORVIK_HOST_SDK_DEFINITIONS "" CACHE STRING "Extra preprocessor definitions for the SDK's headers")

if(NOT IS_DIRECTORY "${ORVIK_HOST_SDK_DIR}")
  message(FATAL_ERROR "ORVIK_HOST_SDK_DIR is '${ORVIK_HOST_SDK_DIR}', which is not a folder. "
    "Give the folder where the host's C++ SDK is unpacked, or leave ORVIK_HOST_SDK_DIR empty to "
    "build the plug-in against the simulated host.")
endif()
if(NOT EXISTS "${ORVIK_HOST_SDK_INCLUDE_DIR}/arxHeaders.h")
  message(FATAL_ERROR "No arxHeaders.h in '${ORVIK_HOST_SDK_INCLUDE_DIR}': that is not the host's "
    "C++ SDK, or its headers live elsewhere (set ORVIK_HOST_SDK_INCLUDE_DIR to their folder).")
endif()
if(NOT APPLE)
  message(FATAL_ERROR "The bundle for the real host is built on macOS: the host runs there and "
    "the SDK's libraries are macOS libraries. On this system, build without ORVIK_HOST_SDK_DIR "
    "(the simulated host), or check the sources against the SDK's headers with "
    "tools/check_host_sdk.sh.")
endif()
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "The bundle for the real host is built with Apple's clang (Xcode's command "
    "line tools), as the host itself is.")
endif()

if(NOT ORVIK_HOST_SDK_LIBRARIES)
  file(GLOB ORVIK_HOST_SDK_LIBRARIES "${ORVIK_HOST_SDK_DIR}/lib*/*.dylib")
endif()
if(NOT ORVIK_HOST_SDK_LIBRARIES AND NOT ORVIK_HOST_APP)
  message(FATAL_ERROR "Found no library in '${ORVIK_HOST_SDK_DIR}/lib*/': set "
    "ORVIK_HOST_SDK_LIBRARIES to the SDK's libraries, or ORVIK_HOST_APP to the host's executable.")
endif()

add_compile_options(-Wall -Wextra -Werror)
add_library(orvik_bundle MODULE ${ORVIK_SOURCES})
target_include_directories(orvik_bundle PRIVATE ${CMAKE_SOURCE_DIR})
# The SDK's headers are the host's: their warnings are not ours to fix, ours stay errors.
target_include_directories(orvik_bundle SYSTEM PRIVATE ${ORVIK_HOST_SDK_INCLUDE_DIR})
target_compile_definitions(orvik_bundle PRIVATE ORVIK_USE_HOST_SDK ${ORVIK_HOST_SDK_DEFINITIONS})
target_compile_options(orvik_bundle PRIVATE -stdlib=libc++)
find_package(Threads REQUIRED)
target_link_libraries(orvik_bundle PRIVATE Threads::Threads objc ${ORVIK_HOST_SDK_LIBRARIES})
target_link_options(orvik_bundle PRIVATE -stdlib=libc++)
if(ORVIK_HOST_APP)
  target_link_options(orvik_bundle PRIVATE "SHELL:-bundle_loader \"${ORVIK_HOST_APP}\"")
endif()
set_target_properties(orvik_bundle PROPERTIES PREFIX "" OUTPUT_NAME "OrvikCad" SUFFIX ".bundle"
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
message(STATUS "Building OrvikCad.bundle for the real host against ${ORVIK_HOST_SDK_INCLUDE_DIR}")
