# GoogleTest for the tests, as GTest::gtest_main: an installed package first, else
# the sources a distribution ships (Debian's googletest), else a download.
set(DECRIMP_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources to build when no package is found")

find_package(GTest QUIET)
if(GTest_FOUND)
  message(STATUS "GoogleTest: installed package")
  return()
endif()

# Built with our tests only, and never installed with the program.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
if(EXISTS ${DECRIMP_GTEST_SOURCE}/CMakeLists.txt)
  message(STATUS "GoogleTest: sources in ${DECRIMP_GTEST_SOURCE}")
  add_subdirectory(${DECRIMP_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
else()
  message(STATUS "GoogleTest: downloading")
  include(FetchContent)
  if(POLICY CMP0135)
    cmake_policy(SET CMP0135 NEW)  # extracted files dated now, so a new download rebuilds
  endif()
  FetchContent_Declare(googletest
    URL https://github.com/google/googletest/archive/refs/tags/v1.14.0.tar.gz
    URL_HASH SHA256=8ad598c73ad796e0d8280b082cebd82a630d73e73cd3c70057938a6501bba5d7)
  FetchContent_MakeAvailable(googletest)
endif()
