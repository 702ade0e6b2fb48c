# Screen tests: the Qt forms, loop and dialogs on Qt's offscreen platform, no display needed. Each
# form is drawn to a PNG under screens/ in the build folder.
find_package(Qt6 REQUIRED COMPONENTS Widgets Test)

set(VELMARIS_SCREENS_DIR ${CMAKE_BINARY_DIR}/screens)

add_executable(screen_tests
  screen/screen_main.cpp
  screen/forms_test.cpp
  screen/input_test.cpp
  screen/qt_loop_test.cpp
  screen/qt_ui_test.cpp
  screen/batch_test.cpp
)
target_link_libraries(screen_tests PRIVATE velmaris_qt velmaris_testsupport Qt6::Test)
target_compile_definitions(screen_tests PRIVATE
  VELMARIS_SCREENS_DIR="${VELMARIS_SCREENS_DIR}")
gtest_discover_tests(screen_tests DISCOVERY_TIMEOUT 60
  PROPERTIES TIMEOUT 300 ENVIRONMENT QT_QPA_PLATFORM=offscreen)
