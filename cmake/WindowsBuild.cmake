# The Windows build (MinGW-w64, cmake/mingw-w64-x86_64.cmake): velora-cli.exe
# with no Qt over the Win32 serial device, the Qt-free suites run under
# wine (label windows), and a ZIP of the program.

# CLI11 and nlohmann-json are header-only. Their CMake packages would add the
# host's /usr/include, whose glibc headers break MinGW's, so the cross build
# gets a folder of their headers alone.
set(VELORA_HOST_INCLUDE /usr/include CACHE PATH "Where the host keeps the CLI and nlohmann header folders")
set(velora_header_only ${CMAKE_BINARY_DIR}/header-only)
foreach(folder CLI nlohmann)
  if(NOT EXISTS ${VELORA_HOST_INCLUDE}/${folder})
    message(FATAL_ERROR "${VELORA_HOST_INCLUDE}/${folder} is missing: install libcli11-dev and nlohmann-json3-dev")
  endif()
  file(COPY ${VELORA_HOST_INCLUDE}/${folder} DESTINATION ${velora_header_only})
endforeach()
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
target_include_directories(nlohmann_json::nlohmann_json SYSTEM INTERFACE ${velora_header_only})
add_library(CLI11::CLI11 INTERFACE IMPORTED)
target_include_directories(CLI11::CLI11 SYSTEM INTERFACE ${velora_header_only})

# Wide-character file names go through the system's Unicode calls.
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)

# velora-cli.exe, its tests and its ZIP; called by the root CMakeLists.txt
# once the core libraries exist.
macro(velora_windows_programs)
  add_library(velora_cli_lib STATIC ${CMAKE_SOURCE_DIR}/app/cli/arguments.cpp ${CMAKE_SOURCE_DIR}/app/cli/cli.cpp
                                    ${CMAKE_SOURCE_DIR}/app/cli/show_commands.cpp
                                    ${CMAKE_SOURCE_DIR}/app/cli/show_files.cpp
                                    ${CMAKE_SOURCE_DIR}/app/cli/terminal_ui.cpp
                                    ${CMAKE_SOURCE_DIR}/app/cli/sync_cli.cpp)
  target_link_libraries(velora_cli_lib PUBLIC velora_core PRIVATE CLI11::CLI11)
  velora_warnings(velora_cli_lib)

  add_executable(velora-cli ${CMAKE_SOURCE_DIR}/app/velora_cli_win32.cpp)
  target_link_libraries(velora-cli PRIVATE velora_cli_lib velora_serial_win32)
  # wmain: the arguments arrive as UTF-16.
  target_link_options(velora-cli PRIVATE -municode)
  velora_warnings(velora-cli)

  add_library(velora_mkupg_lib STATIC ${CMAKE_SOURCE_DIR}/app/mkupg/mkupg.cpp)
  target_link_libraries(velora_mkupg_lib PUBLIC velora_core PRIVATE CLI11::CLI11)
  velora_warnings(velora_mkupg_lib)

  if(VELORA_TESTS)
    include(WindowsTests)
  endif()

  # The ZIP: the program, the README and the licence, side by side.
  string(TIMESTAMP year "%Y" UTC)
  file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/LICENCE.txt CONTENT "\
Velora PC link: the PC program for the Kq318 Velora Tarvane DMX controller.

Copyright (C) ${year} The Velora developers
License: not stated in the sources; ask The Velora developers <velora@velora.example>.
")
  install(TARGETS velora-cli RUNTIME DESTINATION .)
  install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_BINARY_DIR}/LICENCE.txt DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_NAME velora-cli)
  set(CPACK_PACKAGE_FILE_NAME velora-cli-${PROJECT_VERSION}-windows-x64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  include(CPack)
endmacro()
