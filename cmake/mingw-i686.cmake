# Cross build for 32-bit Windows with mingw-w64 (posix threads flavour); tests run under
# Wine's 32-bit loader, in the prefix build/wineprefix.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ZAX_MINGW_PREFIX i686-w64-mingw32)
set(ZAX_WINE_RUN wine-run)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
