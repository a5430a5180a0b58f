# 32-bit ARM, hard-float ABI (Debian: g++-arm-linux-gnueabihf, qemu-user).
set(CROSS_TRIPLET arm-linux-gnueabihf)
set(CROSS_PROCESSOR arm)
set(CROSS_QEMU qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/cross-linux.cmake)
