# GoogleTest for the tests: the host's installed package, or, when cross
# compiling, Debian's sources (libgtest-dev ships them in /usr/src/googletest)
# built for the target. Sets MEROVANE_GTEST_FOUND.
set(MEROVANE_GTEST_FOUND FALSE)
if(CMAKE_CROSSCOMPILING)
  set(MEROVANE_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH
    "GoogleTest's sources, built for the target when cross compiling")
  if(EXISTS ${MEROVANE_GOOGLETEST_SOURCE}/CMakeLists.txt)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(${MEROVANE_GOOGLETEST_SOURCE} ${PROJECT_BINARY_DIR}/googletest
                     EXCLUDE_FROM_ALL SYSTEM)
    # Its own warnings are not ours.
    target_compile_options(gtest PRIVATE -w)
    target_compile_options(gtest_main PRIVATE -w)
    set(MEROVANE_GTEST_FOUND TRUE)
  endif()
else()
  find_package(GTest QUIET)
  set(MEROVANE_GTEST_FOUND ${GTest_FOUND})
endif()
