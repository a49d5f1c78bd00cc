# Program files for the resource reader's tests: the scripts of this folder
# built by both mingw toolchains into DLLs that hold only resources (PE32
# and PE32+). Included by the native and the Windows test folders; gives
# VC_RESOURCE_FILES (their folder) and the target velmconv_resource_files.
set(VC_RESOURCE_FILES ${CMAKE_BINARY_DIR}/resource_files)
set(_vc_res_src ${CMAKE_SOURCE_DIR}/tests/resource_files)
add_custom_command(OUTPUT ${VC_RESOURCE_FILES}/many.rc
  COMMAND /usr/bin/python3 ${_vc_res_src}/make_bitmaps.py ${VC_RESOURCE_FILES}
  DEPENDS ${_vc_res_src}/make_bitmaps.py)
set(_vc_res_dlls)
foreach(arch i686 x86_64)
  foreach(script bitmaps many)
    set(rc ${_vc_res_src}/${script}.rc)
    if(script STREQUAL "many")
      set(rc ${VC_RESOURCE_FILES}/many.rc)
    endif()
    set(out ${VC_RESOURCE_FILES}/${script}-${arch}.dll)
    add_custom_command(OUTPUT ${out}
      COMMAND ${arch}-w64-mingw32-windres -I ${VC_RESOURCE_FILES} ${rc} -O coff -o ${script}-${arch}.o
      COMMAND ${arch}-w64-mingw32-gcc -shared -nostdlib -Wl,-e,0 -o ${out} ${script}-${arch}.o
      WORKING_DIRECTORY ${VC_RESOURCE_FILES}
      DEPENDS ${rc} ${VC_RESOURCE_FILES}/many.rc)
    list(APPEND _vc_res_dlls ${out})
  endforeach()
endforeach()
add_custom_target(velmconv_resource_files ALL DEPENDS ${_vc_res_dlls})
