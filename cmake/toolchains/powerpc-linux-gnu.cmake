# 32-bit big-endian PowerPC (Debian: g++-powerpc-linux-gnu, qemu-user).
set(CROSS_TRIPLET powerpc-linux-gnu)
set(CROSS_PROCESSOR powerpc)
set(CROSS_QEMU qemu-ppc)
include(${CMAKE_CURRENT_LIST_DIR}/cross-linux.cmake)
