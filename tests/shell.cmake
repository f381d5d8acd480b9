# Tests of the telvanto program's shell: tray, single instance, start at login, wake, and the
# whole program on a virtual display against tvsim.

telvanto_integration_test(test-wake integration/WakeMonitorTest.cpp)
target_link_libraries(test-wake PRIVATE wake Qt6::DBus)

# Start at login and the tray menu, with the controller on fake channels in virtual time.
add_executable(test-shell unit/AutostartTest.cpp unit/TrayMenuTest.cpp support/GuiTestMain.cpp)
target_link_libraries(test-shell PRIVATE GTest::gtest GTest::gmock appshell tvsimlib Qt6::Test)
target_include_directories(test-shell PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/support)
gtest_discover_tests(test-shell DISCOVERY_MODE PRE_TEST PROPERTIES LABELS unit ENVIRONMENT QT_QPA_PLATFORM=offscreen)

telvanto_integration_test(test-single-instance integration/SingleInstanceTest.cpp)
target_link_libraries(test-single-instance PRIVATE appshell Qt6::DBus Qt6::Test)

# The whole program on a virtual display with buses of its own, driven through AT-SPI, X input
# and the tray's D-Bus menu, against tvsim. Skipped (77) when a desktop tool is missing.
set(app_test_env "TELVANTO=$<TARGET_FILE:telvanto>" "TVSIM=$<TARGET_FILE:tvsim>" "TELVANTO_CLI=$<TARGET_FILE:telvanto-cli>"
  "PANEL_FIXTURE=$<TARGET_FILE:atspi-panel-fixture>" "PANEL_GOLDEN=${CMAKE_CURRENT_SOURCE_DIR}/integration/atspi/panel-dump.txt")
add_test(NAME app-desktop COMMAND /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/gui/app_test.py)
set_tests_properties(app-desktop PROPERTIES LABELS gui SKIP_RETURN_CODE 77 TIMEOUT 180 ENVIRONMENT "${app_test_env}")

# The minimal Qt Quick Controls window that scripts/bench-app measures telvanto against.
add_executable(telvanto-quick-baseline gui/QuickBaseline.cpp)
target_link_libraries(telvanto-quick-baseline PRIVATE Qt6::Gui Qt6::Qml Qt6::Quick)

# The desktop entry as desktops read it (desktop-file-utils).
find_program(DESKTOP_FILE_VALIDATE desktop-file-validate)
if(DESKTOP_FILE_VALIDATE)
  add_test(NAME telvanto-desktop-entry COMMAND ${DESKTOP_FILE_VALIDATE} ${CMAKE_SOURCE_DIR}/src/app/telvanto.desktop)
  set_tests_properties(telvanto-desktop-entry PROPERTIES LABELS unit FAIL_REGULAR_EXPRESSION "error|warning")
endif()
