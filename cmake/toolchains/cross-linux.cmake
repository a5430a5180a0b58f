# Shared by the toolchain files of this folder: a Debian cross compiler
# (CROSS_TRIPLET-g++), its own sysroot under /usr/CROSS_TRIPLET, and Debian's
# qemu-user (CROSS_QEMU) to run what is built: the test executables through
# CTest, the build-time tools, and the program in the whole-request tests.
# The program is linked statically (cmake/MerovaneProgram.cmake); the tests
# and tools find the target's shared libraries through the emulator's -L.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${CROSS_PROCESSOR})

set(CMAKE_C_COMPILER ${CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${CROSS_TRIPLET}-g++)
set(CMAKE_STRIP ${CROSS_TRIPLET}-strip CACHE FILEPATH "strip for the target")

# Libraries, headers and packages of the target only (the host's GoogleTest
# and Google Benchmark are not for it); programs of the host.
set(CMAKE_FIND_ROOT_PATH /usr/${CROSS_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(CROSS_EMULATOR_PATH ${CROSS_QEMU} NO_CMAKE_FIND_ROOT_PATH)
if(CROSS_EMULATOR_PATH)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CROSS_EMULATOR_PATH} -L /usr/${CROSS_TRIPLET})
endif()

# The card's release builds are optimized across the program's libraries at
# link time: on PowerPC that takes some 74 KB off the program's code, and its
# stripped size moves one 64 KiB step further below the 1 MiB it may take
# (see BENCHMARKS.md, Size per target).
set(CMAKE_INTERPROCEDURAL_OPTIMIZATION_RELEASE ON)
# Also for GoogleTest's sources built for the target, whose older minimum
# CMake version would otherwise leave them out of it with a warning.
set(CMAKE_POLICY_DEFAULT_CMP0069 NEW)
