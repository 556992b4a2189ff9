# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (the POSIX thread model,
# which std::thread and std::mutex need).
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake ...
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KORVANI_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KORVANI_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KORVANI_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${KORVANI_MINGW_TRIPLET}-windres)

# Libraries and headers come from the MinGW tree (and the prefixes added to it, such as
# the Qt built for it); programs such as moc and rcc come from the build machine.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${KORVANI_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
