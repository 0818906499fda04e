# Cross build for 64-bit Windows with Debian's MinGW-w64 (posix threading flavour).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUORILA_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   ${QUORILA_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUORILA_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER  ${QUORILA_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QUORILA_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Every Windows program of the build runs under Wine, in a prefix private to the build tree.
set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run)
