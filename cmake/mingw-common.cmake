# Shared part of the two mingw-w64 toolchains. The -posix compilers carry
# std::mutex (GoogleTest needs it); -static keeps the runtime inside the image.
set(CMAKE_C_COMPILER ${FERROTUNE_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${FERROTUNE_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${FERROTUNE_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${FERROTUNE_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# No time stamp in the PE header, so that a commit always links the same bytes.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -Wl,--no-insert-timestamp")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -Wl,--no-insert-timestamp")
