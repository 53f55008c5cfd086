# Cross build for 64-bit Windows with Debian's mingw-w64 (posix threads variant, so that
# std::thread and std::mutex are there). Test programs run under Wine when it is installed.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QMU_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QMU_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QMU_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QMU_MINGW_TRIPLE}-windres)
# The "-posix" compiler names hide the prefix from CMake's search for the binary tools; CPack
# strips the packaged program with this one.
set(CMAKE_STRIP ${QMU_MINGW_TRIPLE}-strip CACHE FILEPATH "")
set(CMAKE_AR ${QMU_MINGW_TRIPLE}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${QMU_MINGW_TRIPLE}-gcc-ranlib-posix CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${QMU_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Lets CTest and test discovery start the .exe files.
find_program(QMU_WINE NAMES wine NO_CMAKE_FIND_ROOT_PATH)
if(QMU_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${QMU_WINE})
endif()
