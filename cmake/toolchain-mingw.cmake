# Cross build for Windows with MinGW-w64. QUORVANE_MINGW_ARCH is i686 for the 32-bit program we ship, or
# x86_64 for the Windows suite on hosts that cannot start 32-bit programs (run under wine64).
# The posix thread model is required for std::thread; -static keeps libstdc++, libgcc and winpthread
# out of the DLL list.
set(QUORVANE_MINGW_ARCH i686 CACHE STRING "i686 or x86_64")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUORVANE_MINGW_ARCH)
set(triple ${QUORVANE_MINGW_ARCH}-w64-mingw32)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${QUORVANE_MINGW_ARCH})
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
if(QUORVANE_MINGW_ARCH STREQUAL x86_64)
  # /usr/bin/wine prefers the 32-bit loader whenever it is installed.
  set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR wine)
endif()
