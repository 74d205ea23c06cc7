# Windows build: installer.exe, the product. Statically linked, GUI
# subsystem, importing only DLLs that every Windows has.
enable_language(RC)

file(GLOB WIN32_PLATFORM_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/platform/win32/*.cpp)
file(GLOB WIN32_FRAMEWORK_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/framework/win32/*.cpp)

add_executable(installer WIN32
  ${INSTALLER_CORE_SOURCES}
  ${WIN32_PLATFORM_SOURCES}
  ${WIN32_FRAMEWORK_SOURCES}
  ${PROJECT_SOURCE_DIR}/src/res/installer.rc)
target_include_directories(installer PRIVATE ${PROJECT_SOURCE_DIR}/src)
# windres takes none of the compiler's warning options.
target_compile_options(installer PRIVATE "$<$<COMPILE_LANGUAGE:C,CXX>:${INSTALLER_WARNINGS}>")
set_source_files_properties(${WIN32_PLATFORM_SOURCES} ${WIN32_FRAMEWORK_SOURCES}
  PROPERTIES COMPILE_DEFINITIONS INSTALLER_WIN32_BACKEND)
# The .rc includes dialogs.inc and names the manifest beside it.
set_property(SOURCE ${PROJECT_SOURCE_DIR}/src/res/installer.rc APPEND PROPERTY OBJECT_DEPENDS
  ${PROJECT_SOURCE_DIR}/src/res/dialogs.inc
  ${PROJECT_SOURCE_DIR}/src/res/resource.h
  ${PROJECT_SOURCE_DIR}/src/res/installer.manifest)
target_link_options(installer PRIVATE -static -static-libgcc -static-libstdc++ -mwindows
  $<$<CONFIG:Release,MinSizeRel>:-s>)
target_link_libraries(installer PRIVATE comctl32 advapi32 user32 gdi32 kernel32)

# winspool.drv is not a known DLL: imported statically, the loader would take
# a copy planted beside the program. It is imported with a delay instead
# (src/platform/win32/delay_load.cpp loads it from the system folder), through
# an import library made from the rows of winspool_imports.h.
set(WINSPOOL_IMPORTS_HEADER ${PROJECT_SOURCE_DIR}/src/platform/win32/winspool_imports.h)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${WINSPOOL_IMPORTS_HEADER})
file(READ ${WINSPOOL_IMPORTS_HEADER} winspool_header)
string(REGEX MATCHALL "X\\([A-Za-z0-9]+, *[0-9]+\\)" winspool_rows "${winspool_header}")
set(winspool_def "LIBRARY winspool.drv\nEXPORTS\n")
foreach(row IN LISTS winspool_rows)
  string(REGEX REPLACE "^X\\(([A-Za-z0-9]+), *([0-9]+)\\)$" "\\1@\\2" export "${row}")
  string(APPEND winspool_def "  ${export}\n")
endforeach()
file(GENERATE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/winspool-delay.def CONTENT "${winspool_def}")
find_program(MINGW_DLLTOOL NAMES ${MINGW_TRIPLE}-dlltool REQUIRED)
set(WINSPOOL_DELAY_LIB ${CMAKE_CURRENT_BINARY_DIR}/libwinspool-delay.a)
# --kill-at: the DLL's names are plain; the program's references keep @N.
add_custom_command(OUTPUT ${WINSPOOL_DELAY_LIB}
  COMMAND ${MINGW_DLLTOOL} --input-def ${CMAKE_CURRENT_BINARY_DIR}/winspool-delay.def
          --dllname winspool.drv --kill-at --output-delaylib ${WINSPOOL_DELAY_LIB}
  DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/winspool-delay.def
  COMMENT "Delay-load import library for winspool.drv")
add_custom_target(winspool_delay_lib DEPENDS ${WINSPOOL_DELAY_LIB})
add_dependencies(installer winspool_delay_lib)
target_link_libraries(installer PRIVATE ${WINSPOOL_DELAY_LIB})

# The archive library the installer loads at run time: build-win/7-zip32.dll.
add_subdirectory(archive-dll)

# conformance.exe: the boundary's conformance groups (tests/conformance)
# against the real Win32 layer; a console program the Wine scenario
# "conformance" runs. The groups use only the platform interfaces.
file(GLOB CONFORMANCE_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/conformance/*.cpp)
add_executable(conformance ${CONFORMANCE_SOURCES} ${WIN32_PLATFORM_SOURCES}
  ${PROJECT_SOURCE_DIR}/src/platform/platform.cpp)
target_include_directories(conformance PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests/conformance)
target_compile_options(conformance PRIVATE ${INSTALLER_WARNINGS})
set_source_files_properties(${PROJECT_SOURCE_DIR}/tests/conformance/win32_main.cpp
  PROPERTIES COMPILE_DEFINITIONS INSTALLER_WIN32_BACKEND)
target_link_options(conformance PRIVATE -static -static-libgcc -static-libstdc++ -mconsole)
add_dependencies(conformance winspool_delay_lib)
target_link_libraries(conformance PRIVATE ${WINSPOOL_DELAY_LIB} advapi32 user32 kernel32)
