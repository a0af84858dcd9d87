# Cross build for 64-bit Windows with Debian's mingw-w64 (g++-mingw-w64-x86-64). The -posix
# compilers carry the winpthreads thread model that std::thread and std::mutex need.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZF_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZF_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZF_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ZF_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZF_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Programs carry their C++ runtime and winpthreads inside, so Wine runs them without a DLL path.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Test programs and tools run under Wine, each run in a throwaway WINEPREFIX.
get_filename_component(ZF_SOURCE_ROOT ${CMAKE_CURRENT_LIST_DIR} DIRECTORY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${ZF_SOURCE_ROOT}/scripts/wine-run.sh)
