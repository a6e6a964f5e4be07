# WebAssembly (wasm32-wasi) with clang and Debian's wasi-libc and libc++ for
# wasm32. WASI has no dynamic loader: operators and service libraries become
# static libraries, and each program links the one operator it drives
# (tests/agreement). Programs run under node's WASI (adapters/wasm/run-wasi.mjs).
set(CMAKE_SYSTEM_NAME WASI)
set(CMAKE_SYSTEM_PROCESSOR wasm32)
set(CMAKE_C_COMPILER clang-14)
set(CMAKE_CXX_COMPILER clang++-14)
set(CMAKE_C_COMPILER_TARGET wasm32-wasi)
set(CMAKE_CXX_COMPILER_TARGET wasm32-wasi)
set(CMAKE_AR llvm-ar-14 CACHE FILEPATH "")
set(CMAKE_RANLIB llvm-ranlib-14 CACHE FILEPATH "")
# cmake/Platform/WASI.cmake: no shared libraries, programs end in .wasm.
list(APPEND CMAKE_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR})
# Operators keep large work records on the stack; WebAssembly's default
# stack is 64 KiB.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-Wl,-z,stack-size=8388608")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR node --experimental-wasi-unstable-preview1 --no-warnings
    ${CMAKE_CURRENT_LIST_DIR}/../adapters/wasm/run-wasi.mjs)
