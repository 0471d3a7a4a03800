# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (the posix
# thread model, for std::thread and std::mutex), run under Wine. The C and
# C++ runtimes and winpthread are linked in statically, so the programs need
# no DLL beyond Windows' own.
#
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DKELMORA_CONSOLE=OFF
#
# scripts/test-windows.sh does that, then runs the tests under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KELMORA_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KELMORA_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KELMORA_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${KELMORA_MINGW}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KELMORA_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# CTest (and GoogleTest's test discovery) run the programs under Wine, in a
# prefix of the build folder's own, quietly.
find_program(KELMORA_WINE wine)
if(KELMORA_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      env WINEPREFIX=${CMAKE_BINARY_DIR}/wine-prefix WINEDEBUG=-all "WINEDLLOVERRIDES=mscoree,mshtml="
      ${KELMORA_WINE})
endif()
