# Cross-compiles for 64-bit Windows with mingw-w64 (posix thread model, for std::thread).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

# Packages come from the host (header-only nlohmann json), programs from the host too.
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# Windows programs built here run under Wine for the tests.
find_program(CONSOLE_RELAY_WINE NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(CONSOLE_RELAY_WINE NAMES wine64 wine)
if(CONSOLE_RELAY_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${CONSOLE_RELAY_WINE}")
endif()

# Two builds of one tree give the same bytes, so that a release ZIP's DLL can be checked against
# a build of its source: no link-time stamp (nor the checksum that changes with it), and a DLL's
# preferred address not taken from a hash of its path (the DLLs are relocated where they load).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-Wl,--no-insert-timestamp")
foreach(kind SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT "-Wl,--no-insert-timestamp -Wl,--disable-auto-image-base")
endforeach()
