# The consent window with its notification, and the welcome window: Qt Widgets views
# of the prompt and of the welcome model. Included from ui/; the panel's library sits
# beside it in ui/qt/CMakeLists.txt.
find_package(Qt6 6.4 REQUIRED COMPONENTS Widgets)

add_library(melodock_ui_qt_windows
  ${CMAKE_CURRENT_LIST_DIR}/consent_presenter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/permission_window.cpp
  ${CMAKE_CURRENT_LIST_DIR}/welcome_window.cpp
)
add_library(melodock::ui_qt_windows ALIAS melodock_ui_qt_windows)
target_include_directories(melodock_ui_qt_windows PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(melodock_ui_qt_windows PUBLIC melodock::ui melodock::music melodock::platform
                                                    Qt6::Widgets)
