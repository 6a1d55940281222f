# The Qt-free suites built for Windows and run under wine, one CTest test
# per suite (label windows); GoogleTest built from its sources with the
# cross compiler.
set(VELORA_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's sources (Debian's googletest package)")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
add_subdirectory(${VELORA_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

enable_testing()
# One private wine prefix for the whole run, made by the first test and its
# server ended by the last; no display.
set(VELORA_WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(wine_environment WINEPREFIX=${VELORA_WINE_PREFIX} WINEDEBUG=-all)
add_test(NAME wine_prefix_start COMMAND ${CMAKE_SOURCE_DIR}/tests/e2e/wine_prefix.sh start ${VELORA_WINE_PREFIX})
add_test(NAME wine_prefix_stop COMMAND ${CMAKE_SOURCE_DIR}/tests/e2e/wine_prefix.sh stop ${VELORA_WINE_PREFIX})
set_tests_properties(wine_prefix_start PROPERTIES FIXTURES_SETUP wine LABELS windows TIMEOUT 180)
set_tests_properties(wine_prefix_stop PROPERTIES FIXTURES_CLEANUP wine LABELS windows TIMEOUT 60)

set(tests ${CMAKE_SOURCE_DIR}/tests)
add_library(velora_test_support STATIC ${tests}/support/scripted_ui.cpp ${tests}/support/virtual_line.cpp
                                       ${tests}/support/virtual_port_factory.cpp)
target_include_directories(velora_test_support PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(velora_test_support PUBLIC velora_core velora_emu_model GTest::gtest)
velora_warnings(velora_test_support)

# velora_windows_test(NAME name SOURCES ... [LIBS ...])
function(velora_windows_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS" ${ARGN})
  list(TRANSFORM T_SOURCES PREPEND ${CMAKE_SOURCE_DIR}/tests/)
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE velora_test_support ${T_LIBS} GTest::gtest GTest::gtest_main
                                          GTest::gmock)
  velora_warnings(${T_NAME})
  add_test(NAME ${T_NAME} COMMAND ${T_NAME} --gtest_brief=1)
  set_tests_properties(${T_NAME} PROPERTIES LABELS windows TIMEOUT 120 FIXTURES_REQUIRED wine
                                            ENVIRONMENT "${wine_environment}"
                                            ENVIRONMENT_MODIFICATION "DISPLAY=unset:;WAYLAND_DISPLAY=unset:")
endfunction()

velora_windows_test(NAME image_test SOURCES image_test.cpp compare_test.cpp)
velora_windows_test(NAME frames_test SOURCES frames_test.cpp)
velora_windows_test(NAME serial_link_test SOURCES serial_link_test.cpp)
velora_windows_test(NAME virtual_line_test SOURCES virtual_line_test.cpp)
velora_windows_test(NAME emulator_test SOURCES emulator_test.cpp)
velora_windows_test(NAME files_test SOURCES files_test.cpp)
velora_windows_test(NAME shell_test SOURCES shell_menu_test.cpp shell_dispatch_test.cpp tick_pump_test.cpp)
velora_windows_test(NAME editors_test SOURCES scene_range_test.cpp scene_editor_test.cpp settings_editor_test.cpp
                                              midi_editor_test.cpp)
velora_windows_test(NAME engine_test SOURCES engine_test.cpp)
velora_windows_test(NAME upgrade_file_test SOURCES upgrade_file_test.cpp LIBS velora_mkupg_lib)
velora_windows_test(NAME engine_upgrade_test SOURCES engine_upgrade_test.cpp)
velora_windows_test(NAME cli_test SOURCES cli_test.cpp LIBS velora_cli_lib)
velora_windows_test(NAME show_text_test SOURCES show_text_test.cpp)
target_link_libraries(show_text_test PRIVATE nlohmann_json::nlohmann_json)
velora_windows_test(NAME win32_serial_test SOURCES win32_serial_test.cpp LIBS velora_serial_win32)

# velora-cli.exe against velora-emu from the Linux build (its folder given
# as VELORA_LINUX_PROGRAMS), the emulator's line as the prefix's COM7.
set(VELORA_LINUX_PROGRAMS "" CACHE PATH "The Linux build's programs (velora-emu, velora-cli, velora-mkupg)")
if(VELORA_LINUX_PROGRAMS)
  add_test(NAME windows_cli COMMAND ${CMAKE_SOURCE_DIR}/tests/e2e/windows_cli.sh ${VELORA_LINUX_PROGRAMS}
                                    $<TARGET_FILE:velora-cli> ${VELORA_WINE_PREFIX})
  set_tests_properties(windows_cli PROPERTIES LABELS windows TIMEOUT 300 FIXTURES_REQUIRED wine)
endif()
