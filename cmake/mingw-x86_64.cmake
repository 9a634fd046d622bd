# Cross build for 64-bit Windows with mingw-w64 (posix threads flavour); tests run under
# Wine's 64-bit loader, in the prefix build/wineprefix64.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZAX_MINGW_PREFIX x86_64-w64-mingw32)
set(ZAX_WINE_RUN wine64-run)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
