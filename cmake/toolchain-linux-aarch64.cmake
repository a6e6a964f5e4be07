# 64-bit ARM Linux, cross-built with clang and Debian's arm64 cross libraries
# (binutils-aarch64-linux-gnu, libc6-dev-arm64-cross, libstdc++-12-dev-arm64-cross,
# libgcc-12-dev-arm64-cross) and linked with lld: unlike g++-aarch64-linux-gnu,
# these install beside g++-multilib. Programs run under qemu-aarch64-static
# with the cross libraries as their root.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(FIELDFX_AARCH64_TRIPLE aarch64-linux-gnu)
set(CMAKE_C_COMPILER clang-14)
set(CMAKE_CXX_COMPILER clang++-14)
set(CMAKE_C_COMPILER_TARGET ${FIELDFX_AARCH64_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${FIELDFX_AARCH64_TRIPLE})
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-fuse-ld=lld")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-fuse-ld=lld")
set(CMAKE_LIBRARY_ARCHITECTURE ${FIELDFX_AARCH64_TRIPLE})
set(CMAKE_FIND_ROOT_PATH /usr/${FIELDFX_AARCH64_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64-static -L /usr/${FIELDFX_AARCH64_TRIPLE})
