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

# No link-time stamp in the binaries (nor the checksum that changes with it): two builds of one
# tree give the same bytes, so a release ZIP's DLL can be checked against a build of its source.
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT "-Wl,--no-insert-timestamp")
endforeach()
