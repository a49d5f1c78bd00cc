#!/bin/sh
# Linker launcher of the DLLs the product ships: runs the link with the
# win32 thread-model driver in place of the posix one. Its libstdc++ and
# libgcc need no winpthread, whose clock calls GetTickCount64, which no
# Windows before Vista has. The objects are the same: the library starts
# no thread and takes no lock, and a link that needs pthread fails here.
# Usage (by CMake): link-win32-threads.sh <compiler>-posix <arguments...>
compiler=$1
shift
exec "${compiler%-posix}-win32" "$@"
