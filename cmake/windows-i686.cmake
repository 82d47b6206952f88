# Cross-compiles for 32-bit Windows with Debian's MinGW-w64 (the posix thread
# model, which the C++ standard library's threads need) against the Qt,
# SQLite and libcurl that scripts/windows-toolchain.sh builds into its cache.
#
#   cmake -S . -B build-win32 -G Ninja \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/windows-i686.cmake
#
# TAVENRO_WINDOWS_PREFIX (a cache variable or the environment) names the
# cache's install folder; the default is where the script puts it. The
# script itself builds Qt with this file, with nothing yet in that folder.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
# Qt 6 and the tool need Windows 10 (0x0A00) or later.
set(CMAKE_SYSTEM_VERSION 10.0)

set(TAVENRO_MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_C_COMPILER ${TAVENRO_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TAVENRO_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TAVENRO_MINGW_TRIPLET}-windres)
set(CMAKE_AR ${TAVENRO_MINGW_TRIPLET}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${TAVENRO_MINGW_TRIPLET}-ranlib CACHE FILEPATH "")

if(NOT TAVENRO_WINDOWS_PREFIX)
    if(DEFINED ENV{TAVENRO_WINDOWS_PREFIX})
        set(TAVENRO_WINDOWS_PREFIX $ENV{TAVENRO_WINDOWS_PREFIX})
    else()
        set(TAVENRO_WINDOWS_PREFIX
            /var/cache/tavenro-windows/i686-qt6.4.2-sqlite3.40.1-curl7.88.1)
    endif()
endif()
set(TAVENRO_WINDOWS_PREFIX ${TAVENRO_WINDOWS_PREFIX} CACHE PATH
    "Install folder of the Windows Qt, SQLite and libcurl")
# try_compile() projects read the toolchain file again: hand them the prefix.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TAVENRO_WINDOWS_PREFIX)

# Libraries and headers only from the cache and the MinGW runtime, never
# Linux's; programs (moc, rcc, uic) from the host.
set(CMAKE_FIND_ROOT_PATH ${TAVENRO_WINDOWS_PREFIX} /usr/${TAVENRO_MINGW_TRIPLET})
set(CMAKE_PREFIX_PATH ${TAVENRO_WINDOWS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Debian's Qt 6.4.2 host tools match the cross-built Qt.
set(QT_HOST_PATH /usr CACHE PATH "")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "")

# What a test runs under on this machine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine CACHE FILEPATH "")
