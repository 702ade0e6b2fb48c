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
  screen/screen_services_test.cpp
)
# The library's screen services are tested with the server's objects linked in; they open the
# screen module beside the program, as the library does beside itself.
target_link_libraries(screen_tests PRIVATE velmaris_server velmaris_qt velmaris_testsupport
  Qt6::Test)
set_target_properties(screen_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
add_dependencies(screen_tests VelmarisQt)
target_compile_definitions(screen_tests PRIVATE
  VELMARIS_SCREENS_DIR="${VELMARIS_SCREENS_DIR}")
gtest_discover_tests(screen_tests DISCOVERY_TIMEOUT 60
  PROPERTIES TIMEOUT 300 ENVIRONMENT QT_QPA_PLATFORM=offscreen)

# A page run with --gui: each control in its own window, screenshots through the host, and the run
# ending once the page's last window is closed.
add_test(NAME page.gui_forms
  COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/pages/run_page.py
    --host $<TARGET_FILE:velmaris> --library $<TARGET_FILE:VelmarisClient>
    --source-dir ${CMAKE_SOURCE_DIR} --screens ${VELMARIS_SCREENS_DIR}
    ${CMAKE_CURRENT_SOURCE_DIR}/screen/pages/gui_forms.js)
set_tests_properties(page.gui_forms PROPERTIES TIMEOUT 90 ENVIRONMENT QT_QPA_PLATFORM=offscreen)
