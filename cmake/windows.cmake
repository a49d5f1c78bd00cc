# The Windows build: VelmConv32.dll from the portable sources, the Windows
# platform layer and the Win32 views, plus the static core that the
# Windows tests link. Included by the top-level CMakeLists when WIN32.
enable_language(RC)

set(VC_WINDOWS_SOURCES
  platform/platform_win.cpp
  common/png_wic.cpp
  common/resample_area_only.cpp
  ui/dialog_view_win.cpp
  ui/progress_win.cpp
  ui/wrappers_win.cpp
  controls/reel_win.cpp
  controls/playback_win.cpp
  ${VC_FORMAT_WIN_SOURCES}
)
set(VC_RESOURCE_SCRIPT ${CMAKE_SOURCE_DIR}/resources/velmconv.rc)
# ole32 brings COM for the imaging component (PNG entries of icons); uuid
# is a static library of interface ids, no DLL.
set(VC_SYSTEM_LIBS user32 gdi32 comdlg32 kernel32 advapi32 ole32 uuid)

add_library(velmconv_obj OBJECT ${VC_PORTABLE_SOURCES} ${VC_WINDOWS_SOURCES})
target_include_directories(velmconv_obj PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/include)
target_compile_definitions(velmconv_obj PUBLIC VELMCONV_BUILDING)

# The bitmaps of the resources are written by a script, not kept as binaries.
find_program(VC_PYTHON3 python3 REQUIRED)
set(VC_BITMAP_DIR ${CMAKE_BINARY_DIR}/bitmaps)
set(VC_BITMAPS ${VC_BITMAP_DIR}/sprocket.bmp ${VC_BITMAP_DIR}/pages.bmp ${VC_BITMAP_DIR}/play.bmp)
add_custom_command(OUTPUT ${VC_BITMAPS}
  COMMAND ${VC_PYTHON3} ${CMAKE_SOURCE_DIR}/resources/make_bitmaps.py ${VC_BITMAP_DIR}
  DEPENDS ${CMAKE_SOURCE_DIR}/resources/make_bitmaps.py
  COMMENT "Writing the resource bitmaps")
add_custom_target(vc_bitmaps DEPENDS ${VC_BITMAPS})

# Resources are compiled once per target that carries them; windres gets
# the source root for strings.h, the public headers for the dialogs' ids,
# the folder of the bitmaps and the version from the project.
function(vc_add_resources target)
  target_sources(${target} PRIVATE ${VC_RESOURCE_SCRIPT})
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/include ${VC_BITMAP_DIR})
  add_dependencies(${target} vc_bitmaps)
  # windres reports no dependencies: the scripts it includes and the
  # bitmaps are named here.
  file(GLOB included CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/*.rc ${CMAKE_SOURCE_DIR}/resources/*.h
    ${CMAKE_SOURCE_DIR}/include/velmconv/dialogs.h)
  set_property(SOURCE ${VC_RESOURCE_SCRIPT} TARGET_DIRECTORY ${target} APPEND PROPERTY OBJECT_DEPENDS
    ${VC_BITMAPS} ${included})
  set_property(SOURCE ${VC_RESOURCE_SCRIPT} TARGET_DIRECTORY ${target} APPEND PROPERTY COMPILE_DEFINITIONS
    VC_VERSION_MAJOR=${PROJECT_VERSION_MAJOR}
    VC_VERSION_MINOR=${PROJECT_VERSION_MINOR}
    VC_VERSION_PATCH=${PROJECT_VERSION_PATCH})
endfunction()

# The static core: what the Windows tests link to reach the internals
# (progress window, platform layer) directly. The resources go into the
# program that links it (vc_add_resources).
# Every object goes in whole: the dialog views register themselves and are
# reached through no symbol, so an archive would leave them out.
add_library(velmconv_core INTERFACE)
target_sources(velmconv_core INTERFACE $<TARGET_OBJECTS:velmconv_obj>)
target_include_directories(velmconv_core INTERFACE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/include)
target_compile_definitions(velmconv_core INTERFACE VELMCONV_BUILDING)
target_link_libraries(velmconv_core INTERFACE ijl11_import ${VC_SYSTEM_LIBS})

# The product. No runtime DLLs beside Windows' own: libgcc and libstdc++
# are linked in. The .def file is the whole export table.
add_library(velmconv SHARED $<TARGET_OBJECTS:velmconv_obj> ${CMAKE_SOURCE_DIR}/entry/velmconv.def)
vc_add_resources(velmconv)
set_target_properties(velmconv PROPERTIES
  OUTPUT_NAME VelmConv32
  PREFIX ""
  SUFFIX ".dll"
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}
  ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)
# ijl11.dll is bound at load time, by ordinal. Windows looks for it where
# it looks for any DLL the host loads, not beside the library: in the
# host's folder, the system folders, the current folder and PATH, unless
# the host loads the library by full path with LOAD_WITH_ALTERED_SEARCH_PATH,
# which searches the library's own folder in place of the host's.
target_link_libraries(velmconv PRIVATE ijl11_import ${VC_SYSTEM_LIBS})
target_link_options(velmconv PRIVATE -static-libgcc -static-libstdc++ -static)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  # __stdcall symbols are Name@N; the .def names them plainly.
  target_link_options(velmconv PRIVATE -Wl,--enable-stdcall-fixup)
endif()

# The C API for Windows programs: the same objects in a DLL of its own,
# velmconv.dll, whose export table is every function velmconv/api.h
# declares (read from the header, so the two cannot drift); the editor's
# DLL keeps its ten. ijl11.dll and VELMVFW32.DLL sit beside it as beside
# the product.
file(STRINGS ${CMAKE_SOURCE_DIR}/include/velmconv/api.h VC_API_LINES REGEX "VC_APIENTRY vc_[a-z0-9_]+\\(")
set(VC_API_DEF "LIBRARY \"velmconv.dll\"\nEXPORTS\n")
foreach(line ${VC_API_LINES})
  string(REGEX MATCH "VC_APIENTRY (vc_[a-z0-9_]+)\\(" found "${line}")
  string(APPEND VC_API_DEF "    ${CMAKE_MATCH_1}\n")
endforeach()
file(WRITE ${CMAKE_BINARY_DIR}/velmconv_api.def.new "${VC_API_DEF}")
configure_file(${CMAKE_BINARY_DIR}/velmconv_api.def.new ${CMAKE_BINARY_DIR}/velmconv_api.def COPYONLY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/include/velmconv/api.h)
add_library(velmconv_api SHARED $<TARGET_OBJECTS:velmconv_obj> ${CMAKE_BINARY_DIR}/velmconv_api.def)
vc_add_resources(velmconv_api)
set_target_properties(velmconv_api PROPERTIES
  OUTPUT_NAME velmconv
  PREFIX ""
  SUFFIX ".dll"
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}
  ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)
target_include_directories(velmconv_api INTERFACE ${CMAKE_SOURCE_DIR}/include)
target_link_libraries(velmconv_api PRIVATE ijl11_import ${VC_SYSTEM_LIBS})
target_link_options(velmconv_api PRIVATE -static-libgcc -static-libstdc++ -static)
# Not one of the editor's DLLs: linked with the compiler's own thread model,
# as the objects are built, and with its runtime inside (no DLL beside it).
set_target_properties(velmconv_api PROPERTIES VC_POSIX_THREADS ON)

# Every DLL the product ships runs on Windows from XP on: linked with the
# win32 thread model's runtime (no winpthread), see link-win32-threads.sh.
# The test programs keep the posix model, whose std::mutex GoogleTest needs.
function(vc_link_dlls_for_xp dir)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target ${targets})
    get_target_property(type ${target} TYPE)
    get_target_property(posix ${target} VC_POSIX_THREADS)
    if(type STREQUAL "SHARED_LIBRARY" AND NOT posix)
      set_property(TARGET ${target} PROPERTY CXX_LINKER_LAUNCHER sh ${CMAKE_SOURCE_DIR}/cmake/link-win32-threads.sh)
      set_property(TARGET ${target} PROPERTY C_LINKER_LAUNCHER sh ${CMAKE_SOURCE_DIR}/cmake/link-win32-threads.sh)
    endif()
  endforeach()
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub ${subdirs})
    vc_link_dlls_for_xp(${sub})
  endforeach()
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL vc_link_dlls_for_xp ${CMAKE_SOURCE_DIR})

add_subdirectory(host)
if(VC_BUILD_TESTS)
  add_subdirectory(tests/win)
endif()
