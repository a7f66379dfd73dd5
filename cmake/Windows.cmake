# Windows builds (cross-compiled with MinGW-w64, see cmake/toolchains).

# The Firebird headers are the same on every system, but Debian installs
# them among the Linux headers, which the cross compiler must not see: the
# build links just those (and Boost's, which are plain headers too) into a
# folder of its own.
set(TOLVANE_FIREBIRD_INCLUDE ${CMAKE_BINARY_DIR}/firebird-include)
if(NOT EXISTS /usr/include/ibase.h OR NOT EXISTS /usr/include/firebird/Interface.h)
  message(FATAL_ERROR "the Firebird headers are missing: install firebird-dev")
endif()
file(MAKE_DIRECTORY ${TOLVANE_FIREBIRD_INCLUDE})
file(CREATE_LINK /usr/include/ibase.h ${TOLVANE_FIREBIRD_INCLUDE}/ibase.h SYMBOLIC)
file(CREATE_LINK /usr/include/firebird ${TOLVANE_FIREBIRD_INCLUDE}/firebird SYMBOLIC)
# The UDR headers' Message.h uses Boost's preprocessor macros (headers only).
if(EXISTS /usr/include/boost/preprocessor.hpp)
  file(CREATE_LINK /usr/include/boost ${TOLVANE_FIREBIRD_INCLUDE}/boost SYMBOLIC)
endif()
include_directories(SYSTEM ${TOLVANE_FIREBIRD_INCLUDE})

# DLLs go beside the programs, where the loader looks first.
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_SHARED_LIBRARY_PREFIX "")

# Tests run under Wine, in a prefix of the build's own.
if(CMAKE_CROSSCOMPILING AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(TOLVANE_WINE wine)
  if(TOLVANE_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR
        ${PROJECT_SOURCE_DIR}/scripts/wine-run.sh --prefix ${CMAKE_BINARY_DIR}/wineprefix)
  endif()
endif()

# A test build can name one Windows call that then always fails, to show
# that the Wine suite notices (scripts/windows-test.sh --break CALL).
set(TOLVANE_BROKEN_WINDOWS_CALL "" CACHE STRING
    "Test only: the Windows call that runtime/windows/WindowsPlatform.cpp fails on purpose")

