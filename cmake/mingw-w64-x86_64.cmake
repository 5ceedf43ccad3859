# Cross-build for 64-bit Windows with Debian's MinGW-w64 compilers (the
# "-posix" flavour: std::thread and std::mutex need its threading model).
# Usage: cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DZORBEL_GUI=OFF ...
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZORBEL_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZORBEL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZORBEL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ZORBEL_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZORBEL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Link the compiler's runtime (libstdc++, libgcc, winpthread) statically so
# each .exe runs on its own, under Wine or on a machine without MinGW.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Lets CMake run target programs (test discovery, ctest) through Wine.
find_program(ZORBEL_WINE NAMES wine wine64)
if(ZORBEL_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZORBEL_WINE})
endif()
