# printer-setup's own sources, for the host build (tools/printer-setup/CMakeLists.txt) and the
# Windows build (cmake/WindowsBuild.cmake): one list, so neither build misses a new file.
set(PRINTER_SETUP_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/CommandLine.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Commands.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DriverPrinting.cpp
  ${CMAKE_CURRENT_LIST_DIR}/InstallCommands.cpp
  ${CMAKE_CURRENT_LIST_DIR}/InstallerSession.cpp
  ${CMAKE_CURRENT_LIST_DIR}/InventoryCommands.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MachineFacts.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PrinterAsking.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SetupLog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/StatusWords.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TestCommand.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TestReceipt.cpp
  ${CMAKE_CURRENT_LIST_DIR}/UnattendedAnswers.cpp)
