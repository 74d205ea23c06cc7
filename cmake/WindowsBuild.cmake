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

# printer-setup.exe: the console companion deployment systems drive, on the
# same installer code, platform and dialogs (never shown). Statically linked
# like installer.exe, with the installer's rights request.
set(PRINTER_SETUP_DIR ${PROJECT_SOURCE_DIR}/tools/printer-setup)
include(${PRINTER_SETUP_DIR}/sources.cmake)
set(PRINTER_SETUP_FRAMEWORK_SOURCES ${WIN32_FRAMEWORK_SOURCES})
list(FILTER PRINTER_SETUP_FRAMEWORK_SOURCES EXCLUDE REGEX "winmain\\.cpp$")
add_executable(printer-setup
  ${INSTALLER_CORE_SOURCES}
  ${WIN32_PLATFORM_SOURCES}
  ${PRINTER_SETUP_FRAMEWORK_SOURCES}
  ${PRINTER_SETUP_SOURCES}
  ${PRINTER_SETUP_DIR}/win32/main_win32.cpp
  ${PRINTER_SETUP_DIR}/win32/printer-setup.rc)
# nlohmann-json is header-only: its folder is reached through a link of its
# own, so the host's other headers stay out of the cross build.
find_path(NLOHMANN_JSON_HOST_INCLUDE nlohmann/json.hpp PATHS /usr/include /usr/local/include
  NO_CMAKE_FIND_ROOT_PATH NO_DEFAULT_PATH REQUIRED)
set(PRINTER_SETUP_JSON_INCLUDE ${CMAKE_CURRENT_BINARY_DIR}/printer-setup-json)
file(MAKE_DIRECTORY ${PRINTER_SETUP_JSON_INCLUDE})
file(CREATE_LINK ${NLOHMANN_JSON_HOST_INCLUDE}/nlohmann ${PRINTER_SETUP_JSON_INCLUDE}/nlohmann SYMBOLIC)
target_include_directories(printer-setup PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/src/res
  ${PRINTER_SETUP_DIR})
target_include_directories(printer-setup SYSTEM PRIVATE ${PRINTER_SETUP_JSON_INCLUDE})
target_compile_options(printer-setup PRIVATE "$<$<COMPILE_LANGUAGE:C,CXX>:${INSTALLER_WARNINGS}>")
set_source_files_properties(${PRINTER_SETUP_DIR}/win32/main_win32.cpp
  PROPERTIES COMPILE_DEFINITIONS INSTALLER_WIN32_BACKEND)
set_property(SOURCE ${PRINTER_SETUP_DIR}/win32/printer-setup.rc APPEND PROPERTY OBJECT_DEPENDS
  ${PROJECT_SOURCE_DIR}/src/res/dialogs.inc
  ${PROJECT_SOURCE_DIR}/src/res/resource.h
  ${PRINTER_SETUP_DIR}/win32/printer-setup.manifest)
target_link_options(printer-setup PRIVATE -static -static-libgcc -static-libstdc++ -mconsole
  $<$<CONFIG:Release,MinSizeRel>:-s>)
# winspool.drv with a delay, from the system folder only, as for installer.exe.
add_dependencies(printer-setup winspool_delay_lib)
target_link_libraries(printer-setup PRIVATE comctl32 ${WINSPOOL_DELAY_LIB} advapi32 user32 gdi32 shell32 kernel32)

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
target_link_libraries(conformance PRIVATE ${WINSPOOL_DELAY_LIB} advapi32 user32 gdi32 kernel32)

# drvpack.exe: the vendor's package builder and checker, the host tool's
# sources on the same archive reader (with UTF-8 paths: drvpack reads its
# command line wide) and a static zlib. A console program importing system
# DLLs only, asking for no rights.
set(DRVPACK_DIR ${PROJECT_SOURCE_DIR}/tools/drvpack)
add_executable(drvpack
  ${DRVPACK_DIR}/main.cpp
  ${DRVPACK_DIR}/package_check.cpp
  ${DRVPACK_DIR}/package_build.cpp
  ${DRVPACK_DIR}/package_folder.cpp
  ${DRVPACK_DIR}/printable_text.cpp
  ${DRVPACK_DIR}/file_io.cpp
  ${DRVPACK_DIR}/folder_links.cpp
  ${DRVPACK_DIR}/zip_writer.cpp
  ${PROJECT_SOURCE_DIR}/src/package/ModelTables.cpp
  ${PROJECT_SOURCE_DIR}/archive-dll/file_system.cpp
  ${PROJECT_SOURCE_DIR}/archive-dll/zip_reader.cpp)
target_include_directories(drvpack PRIVATE ${DRVPACK_DIR} ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/archive-dll
  ${ARCHIVE_ZLIB_INCLUDE})
target_compile_definitions(drvpack PRIVATE ZIPREADER_UTF8_PATHS)
target_compile_options(drvpack PRIVATE ${INSTALLER_WARNINGS})
target_link_options(drvpack PRIVATE -static -static-libgcc -static-libstdc++ -mconsole -municode
  $<$<CONFIG:Release,MinSizeRel>:-s>)
target_link_libraries(drvpack PRIVATE ${ARCHIVE_STATIC_ZLIB} kernel32)
