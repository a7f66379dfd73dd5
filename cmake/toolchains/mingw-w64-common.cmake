# Shared part of the MinGW-w64 cross toolchains; TOLVANE_MINGW_TRIPLE is set
# by the file that includes this one. The posix flavour of the compilers gives
# std::thread and thread_local through winpthread.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${TOLVANE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOLVANE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TOLVANE_MINGW_TRIPLE}-windres)
set(CMAKE_OBJDUMP ${TOLVANE_MINGW_TRIPLE}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${TOLVANE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every DLL and program stands alone: no libgcc, libstdc++ or winpthread DLL
# to ship beside it.
set(TOLVANE_MINGW_STATIC "-static-libgcc -static-libstdc++ -static")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${TOLVANE_MINGW_STATIC}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${TOLVANE_MINGW_STATIC}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${TOLVANE_MINGW_STATIC}")
