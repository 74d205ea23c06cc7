# Host build: simulated machine, headless dialogs, tests and installer-sim.

# Sanitizers and fuzzing instrument every host target below (directory
# options are taken by targets made after them).
if(INSTALLER_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(INSTALLER_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread)
  add_link_options(-fsanitize=thread)
elseif(NOT INSTALLER_SANITIZE STREQUAL "")
  message(FATAL_ERROR "INSTALLER_SANITIZE must be address, thread or empty, not '${INSTALLER_SANITIZE}'")
endif()
if(INSTALLER_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "INSTALLER_FUZZ needs clang (libFuzzer)")
  endif()
  # The fuzz targets' own link adds -fsanitize=fuzzer (libFuzzer's main).
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
    -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
find_package(nlohmann_json 3 REQUIRED)
find_package(Threads REQUIRED)

# src/host is the host build's own: the simulated machine (sim/), the
# headless window system (headless/) and what runs the installer on them
# for installer-sim and the tests (simrunner/). Nothing in it ships; the
# Windows build never names it.
set(HOST_DIR ${PROJECT_SOURCE_DIR}/src/host)
file(GLOB SIM_SOURCES CONFIGURE_DEPENDS ${HOST_DIR}/sim/*.cpp)
file(GLOB HEADLESS_SOURCES CONFIGURE_DEPENDS ${HOST_DIR}/headless/*.cpp)

add_library(installer_host STATIC ${INSTALLER_CORE_SOURCES} ${SIM_SOURCES} ${HEADLESS_SOURCES})
target_include_directories(installer_host PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_compile_options(installer_host PRIVATE ${INSTALLER_WARNINGS})
target_link_libraries(installer_host PUBLIC nlohmann_json::nlohmann_json Threads::Threads)

# A whole installer run on a simulated machine: profile in, script played,
# transcript out (installer-sim and the tests).
add_library(installer_sim_lib STATIC ${HOST_DIR}/simrunner/runner.cpp ${HOST_DIR}/simrunner/script.cpp
  ${HOST_DIR}/simrunner/script_check.cpp ${HOST_DIR}/simrunner/transcript.cpp)
target_compile_options(installer_sim_lib PRIVATE ${INSTALLER_WARNINGS})
target_link_libraries(installer_sim_lib PUBLIC installer_host)

add_subdirectory(tools/installer-sim)
add_subdirectory(tools/printer-setup)

# The archive library's reader and command line: the simulated machine runs
# them where Windows would load 7-zip32.dll.
add_subdirectory(archive-dll)
target_link_libraries(installer_host PUBLIC archive_reader)
# drvpack, and the sample package it packs: build/sample/DriverData.Drv.
add_subdirectory(tools/drvpack)
add_subdirectory(packages)

include(CTest)
if(BUILD_TESTING)
  add_subdirectory(tests)
endif()

if(INSTALLER_FUZZ)
  add_subdirectory(fuzz)
endif()
