# Cross-builds the Windows programs on Debian with mingw-w64 (the posix thread model, so
# std::thread and std::mutex work) and runs what the build runs through Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KESTROM_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KESTROM_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KESTROM_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KESTROM_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${KESTROM_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Headers: the target's own first, then Debian's header-only Asio, which is the same for both.
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
# ctest runs the test programs through Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
