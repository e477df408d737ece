# Cross-builds the 64-bit Windows programs with Debian's mingw-w64 (g++-mingw-w64-x86-64).
# The posix-threads variant of the compiler carries std::thread, std::mutex and the
# rest of the thread support that the standard library and GoogleTest use.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_rz_triplet x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_rz_triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_rz_triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${_rz_triplet}-windres)
set(CMAKE_AR ${_rz_triplet}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${_rz_triplet}-ranlib CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${_rz_triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One self-contained .exe each: the C++ runtime, libgcc and winpthreads are linked in,
# so nothing beyond the system's own DLLs is needed.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests run under Wine, in a prefix inside the build folder.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
