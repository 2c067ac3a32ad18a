# Cross build for 64-bit Windows with Debian's mingw-w64 (posix thread model).
# The compilers are called by their full names: installing the win32 thread
# variant flips the unsuffixed alternatives, and that variant has no std::thread.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(OMBRINE_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${OMBRINE_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${OMBRINE_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${OMBRINE_MINGW_PREFIX}-windres)
set(CMAKE_OBJDUMP ${OMBRINE_MINGW_PREFIX}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${OMBRINE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C and C++ runtimes, libgcc and winpthread go into each binary, so that the
# module needs no DLL beside the system's (with only -static-libgcc and
# -static-libstdc++ it would still import libwinpthread-1.dll).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Linux libraries found through pkg-config must not leak into the cross build.
set(ENV{PKG_CONFIG_LIBDIR} /usr/${OMBRINE_MINGW_PREFIX}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
