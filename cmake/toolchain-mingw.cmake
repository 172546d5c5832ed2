# Cross-compiling for Windows with MinGW-w64 (posix threads, static runtime).
# LUMORA_TARGET_ARCH selects i686 (the shipped 32-bit build) or x86_64, for
# hosts whose kernel cannot run the 32-bit Wine loader.
set(LUMORA_TARGET_ARCH "i686" CACHE STRING "MinGW target: i686 or x86_64")
set(_triple "${LUMORA_TARGET_ARCH}-w64-mingw32")

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${LUMORA_TARGET_ARCH})
set(CMAKE_C_COMPILER   ${_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_triple}-g++-posix)
set(CMAKE_RC_COMPILER  ${_triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# No DLL of the toolchain may be needed at run time.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# ctest runs Windows test programs through Wine with the project's prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run")
