# Cross build for 32-bit Windows (the product) with the mingw-w64 i686 compilers.
set(VC_MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
