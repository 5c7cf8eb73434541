# Compiler and linker settings of the shipped build (ROTAVUE_RELEASE): no
# debug information and no symbols, and binaries that depend only on the
# sources: no link time stamp and no build path in them, so that two builds
# of one commit in different folders are byte-identical.
#
# The code is generated as in the tested and benchmarked `windows` build
# (-O2), only without debug information. Measured on the first release
# (Rotavue.dll / rotavue-host.exe, bytes, stripped): -O2 295,936 / 1,232,896
# with section garbage collection, 297,984 / 1,238,528 without; -Os 283,136 /
# 1,218,048 with and 285,184 / 1,223,680 without; -O3 298,496 / 1,240,576
# with and 300,544 / 1,245,696 without. Three quarters of the DLL is the
# statically linked C++, threading and unwinding runtime, so neither -Os (4%)
# nor -ffunction-sections -fdata-sections -Wl,--gc-sections (under 1%) buys
# enough to ship code built otherwise than the code that was measured.
if(NOT CMAKE_BUILD_TYPE STREQUAL "Release")
  message(FATAL_ERROR "ROTAVUE_RELEASE needs CMAKE_BUILD_TYPE Release")
endif()
set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG")

# The build folder usually lies inside the source folder; the compiler tries
# the map given last first, so the build folder comes second.
target_compile_options(rotavue_settings INTERFACE
  -ffile-prefix-map=${CMAKE_SOURCE_DIR}/=
  -ffile-prefix-map=${CMAKE_BINARY_DIR}/=)
target_link_options(rotavue_settings INTERFACE -s -Wl,--no-insert-timestamp)
