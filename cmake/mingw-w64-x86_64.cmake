# Cross build for 64-bit Windows with the MinGW-w64 GCC of a Linux host:
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# The posix-threads flavour of the compiler is preferred, since GoogleTest
# needs std::mutex and friends. Programs are linked statically, so that a
# .exe runs on Windows (or under Wine) without the MinGW runtime DLLs beside
# it. When Wine is installed, CTest runs the Windows programs through
# wine-run.sh with a private Wine prefix inside the build directory.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(DIAGRAW_MINGW_TRIPLET x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${DIAGRAW_MINGW_TRIPLET}-gcc-posix ${DIAGRAW_MINGW_TRIPLET}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${DIAGRAW_MINGW_TRIPLET}-g++-posix ${DIAGRAW_MINGW_TRIPLET}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${DIAGRAW_MINGW_TRIPLET}-windres REQUIRED)

# Libraries, headers and packages come from the MinGW sysroot only; programs
# (such as wine) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${DIAGRAW_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

find_program(DIAGRAW_WINE NAMES wine wine64)
if(DIAGRAW_WINE AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh ${CMAKE_BINARY_DIR}/wineprefix)
endif()
