# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64).
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake -DCONTARDC_CORE_ONLY=ON
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CONTARDC_MINGW_TRIPLET x86_64-w64-mingw32)

# The posix flavour has std::thread and std::mutex, which the win32 flavour lacks.
find_program(CMAKE_C_COMPILER NAMES ${CONTARDC_MINGW_TRIPLET}-gcc-posix ${CONTARDC_MINGW_TRIPLET}-gcc)
find_program(CMAKE_CXX_COMPILER NAMES ${CONTARDC_MINGW_TRIPLET}-g++-posix ${CONTARDC_MINGW_TRIPLET}-g++)
find_program(CMAKE_RC_COMPILER NAMES ${CONTARDC_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${CONTARDC_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Link the compiler's own runtime in, so the programs run without MinGW's DLLs
# beside them (on Windows as under Wine).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
