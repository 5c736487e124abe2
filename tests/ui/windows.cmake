# The consent and welcome windows, offscreen, with a notification daemon on a private
# bus; their screenshots land in this build folder.
find_package(Qt6 6.4 REQUIRED COMPONENTS Test)
add_executable(melodock_ui_qt_windows_tests
  ${CMAKE_CURRENT_LIST_DIR}/qt_test_main.cpp
  ${CMAKE_CURRENT_LIST_DIR}/consent_presenter_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/welcome_window_test.cpp
  ${PROJECT_SOURCE_DIR}/tests/platform/private_bus.cpp
)
target_link_libraries(melodock_ui_qt_windows_tests PRIVATE melodock::ui_qt_windows melodock::app melodock::ui
                                                           melodock_test_support Qt6::Test GTest::gtest)
target_compile_definitions(melodock_ui_qt_windows_tests PRIVATE
  MELODOCK_TEST_DBUS_DAEMON="${MELODOCK_DBUS_DAEMON}" MELODOCK_TEST_PYTHON="${MELODOCK_TEST_PYTHON}"
  MELODOCK_CATALOG_FILE="${MELODOCK_CATALOG_FILE}"
  MELODOCK_TEST_APP_ICON="${PROJECT_SOURCE_DIR}/packaging/icons/org.melodock.Melodock.svg"
  MELODOCK_TEST_TRAY_ICON="${PROJECT_SOURCE_DIR}/packaging/icons/melodock-tray-for-light-panels.svg"
  MELODOCK_SCREENSHOTS="${CMAKE_CURRENT_BINARY_DIR}")
add_dependencies(melodock_ui_qt_windows_tests melodock_catalog)
gtest_discover_tests(melodock_ui_qt_windows_tests DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 120)
