# Cross-builds the Windows programs on Linux with MinGW-w64 (Debian's
# g++-mingw-w64-x86-64-posix: C++20 and std::thread through winpthreads).
# Test programs run under Wine:
#   cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZVEKLC_MINGW_TRIPLET x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${ZVEKLC_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZVEKLC_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ZVEKLC_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZVEKLC_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# A program must start on a bare Windows: the C++ and GCC run-times and
# winpthreads go into the program rather than beside it as DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# A bare ctest in the build folder must not fall back to the user's ~/.wine:
# the emulator names a prefix of its own under /tmp unless the caller set one.
find_program(ZVEKLC_WINE NAMES wine wine64)
if(ZVEKLC_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
endif()
