# The same cross build with Debian's clang instead of GCC: a second compiler keeps the code
# portable toward MSVC. It uses MinGW-w64's headers and import libraries and GCC's libstdc++ from
# the posix thread model (the test framework needs std::mutex), which clang does not find on its
# own here, so that directory is pinned.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_triple x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES clang REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES clang++ REQUIRED)
set(CMAKE_C_COMPILER_TARGET ${_triple})
set(CMAKE_CXX_COMPILER_TARGET ${_triple})
find_program(CMAKE_RC_COMPILER NAMES ${_triple}-windres REQUIRED)
set(CMAKE_SYSROOT /usr/${_triple})

file(GLOB _gcc_posix LIST_DIRECTORIES true /usr/lib/gcc/${_triple}/*-posix)
list(LENGTH _gcc_posix _found)
if(NOT _found EQUAL 1)
  message(FATAL_ERROR "expected one posix MinGW GCC under /usr/lib/gcc/${_triple}, found: ${_gcc_posix}")
endif()
set(_cxx ${_gcc_posix}/include/c++)
set(CMAKE_CXX_FLAGS_INIT "-isystem ${_cxx} -isystem ${_cxx}/${_triple} -isystem ${_cxx}/backward")
# LLVM's linker: GNU ld warns about every type_info name that clang and GCC lay out differently.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld -L${_gcc_posix}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-fuse-ld=lld -L${_gcc_posix}")
# libstdc++ and libgcc_eh's thread-local storage call winpthreads: one group resolves them all.
set(CMAKE_CXX_STANDARD_LIBRARIES
    "-Wl,--start-group -lstdc++ -lgcc -lgcc_eh -lpthread -Wl,--end-group")

set(CMAKE_FIND_ROOT_PATH /usr/${_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
