# The settings both Windows cross-builds share, for the toolchain files that
# name their target in ROTAVUE_MINGW_TARGET (i686-w64-mingw32 or
# x86_64-w64-mingw32): Debian's mingw-w64 -posix compilers, whose C++ runtime
# has std::thread and std::mutex, and Wine as the emulator that runs the
# build's programs, in a prefix inside the build tree.
string(REGEX REPLACE "-.*" "" ROTAVUE_MINGW_PROCESSOR "${ROTAVUE_MINGW_TARGET}")
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${ROTAVUE_MINGW_PROCESSOR})
set(CMAKE_C_COMPILER ${ROTAVUE_MINGW_TARGET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ROTAVUE_MINGW_TARGET}-g++-posix)
set(CMAKE_RC_COMPILER ${ROTAVUE_MINGW_TARGET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ROTAVUE_MINGW_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
