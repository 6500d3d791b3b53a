# Cross-compiling Qt and the Qt program for 64-bit Windows with Debian's
# MinGW-w64 (posix threads flavour). Used by scripts/build-windows.sh.
#
# Unlike toolchain-mingw64.cmake, nothing is linked -static here: Qt's DLLs and
# the program must share one C++ runtime (libstdc++-6.dll), or exceptions and
# heap blocks would cross between two copies of it in one process.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CONTARDC_MINGW_TRIPLET x86_64-w64-mingw32)

# Only the posix flavour has std::thread and std::mutex, which Qt needs.
find_program(CMAKE_C_COMPILER NAMES ${CONTARDC_MINGW_TRIPLET}-gcc-posix REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${CONTARDC_MINGW_TRIPLET}-g++-posix REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${CONTARDC_MINGW_TRIPLET}-windres REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${CONTARDC_MINGW_TRIPLET})
# Host programs (moc, rcc, uic come from the host Qt) are found on the host.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
