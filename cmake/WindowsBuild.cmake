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
target_link_libraries(installer PRIVATE comctl32 winspool advapi32 user32 gdi32 kernel32)

# The archive library the installer loads at run time: build-win/7-zip32.dll.
add_subdirectory(archive-dll)
