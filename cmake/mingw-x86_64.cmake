# Cross-build for 64-bit Windows (see mingw.cmake): the same sources as the
# 32-bit build, so that the Windows backend and the real DLL are tested under
# the 64-bit Wine on machines that cannot run 32-bit programs. Nothing of
# this build ships.
set(ROTAVUE_MINGW_TARGET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
