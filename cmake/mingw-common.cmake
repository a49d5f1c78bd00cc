# The part of the two mingw-w64 toolchain files that does not depend on the
# target: set VC_MINGW_TRIPLET and CMAKE_SYSTEM_PROCESSOR, then include this.
# The -posix compiler variants carry the thread-capable C++ runtime
# (std::mutex, std::thread) that GoogleTest needs; the library itself links
# it statically.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${VC_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VC_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${VC_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VC_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
