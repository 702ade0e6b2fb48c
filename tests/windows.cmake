# The portable unit tests as one Windows program, windows_unit_tests.exe, run under Wine by
# tests/windows/unit_tests.sh. GoogleTest is compiled from its sources with the same compiler;
# what needs the reference server (python), the real office or the poll loop stays in the Linux
# build's programs.
if(NOT VELMARIS_TESTS)
  return()
endif()

set(VELMARIS_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest's sources (with GoogleMock)")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
# SYSTEM: its headers are spared our warnings, as the installed ones are on Linux; its own
# sources too (-w), which our warnings-as-errors must not fail.
add_subdirectory(${VELMARIS_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
foreach(target gtest gtest_main gmock)
  target_compile_options(${target} PRIVATE -w)
endforeach()

set(VELMARIS_TEST_DIR ${CMAKE_CURRENT_LIST_DIR})
file(GLOB_RECURSE VELMARIS_WINDOWS_UNIT_TESTS CONFIGURE_DEPENDS
  ${VELMARIS_TEST_DIR}/unit/base/*_test.cpp
  ${VELMARIS_TEST_DIR}/unit/core/*_test.cpp
  ${VELMARIS_TEST_DIR}/unit/controls/*_test.cpp)
add_executable(windows_unit_tests
  ${VELMARIS_WINDOWS_UNIT_TESTS}
  ${VELMARIS_TEST_DIR}/unit/platform/filesystem_test.cpp
  ${VELMARIS_TEST_DIR}/unit/platform/office_automation_test.cpp
  ${VELMARIS_TEST_DIR}/windows/form_window_test.cpp
  ${VELMARIS_TEST_DIR}/support/fake_loop.cpp
  ${VELMARIS_TEST_DIR}/support/fake_office.cpp
  ${VELMARIS_TEST_DIR}/support/fake_socket.cpp
  ${VELMARIS_TEST_DIR}/support/temp_dir.cpp)
target_include_directories(windows_unit_tests SYSTEM PRIVATE ${STB_INCLUDE_DIR})
target_compile_definitions(windows_unit_tests PRIVATE VELMARIS_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
target_link_libraries(windows_unit_tests PRIVATE velmaris_controls gmock gtest_main)
# Like the DLL: the C++ and thread runtimes linked in, so Wine needs nothing beside it.
target_link_options(windows_unit_tests PRIVATE -static -static-libgcc -static-libstdc++)
set_target_properties(windows_unit_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

# The socket suite on Winsock, the source the Linux build runs on POSIX sockets, and the rest of
# the Windows platform set on a real system: its loop, file system and dialog answer forms; both
# run by tests/windows/platform_test.sh, the suite against the servers of
# tests/support/socket_servers.sh.
add_executable(windows_socket_suite ${VELMARIS_TEST_DIR}/unit/platform/socket_suite.cpp
  ${VELMARIS_TEST_DIR}/support/temp_dir.cpp)
target_link_libraries(windows_socket_suite PRIVATE velmaris_platform gmock gtest_main)
target_link_options(windows_socket_suite PRIVATE -static -static-libgcc -static-libstdc++)
set_target_properties(windows_socket_suite PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

add_executable(windows_platform_test ${VELMARIS_TEST_DIR}/windows/platform_test.cpp)
target_link_libraries(windows_platform_test PRIVATE velmaris_platform)
target_link_options(windows_platform_test PRIVATE -static -static-libgcc -static-libstdc++)
set_target_properties(windows_platform_test PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

# Runs a command with a test authority trusted by the user: HTTPS pages under Wine.
add_executable(windows_trust_authority ${VELMARIS_TEST_DIR}/windows/trust_authority.cpp)
target_include_directories(windows_trust_authority PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(windows_trust_authority PRIVATE crypt32)
target_link_options(windows_trust_authority PRIVATE -static -static-libgcc -static-libstdc++
  -municode)
set_target_properties(windows_trust_authority PROPERTIES RUNTIME_OUTPUT_DIRECTORY
  ${CMAKE_BINARY_DIR})

# The controls in Wine's ATL container, run by tests/windows/run.sh after registration.
add_executable(windows_activex_container ${VELMARIS_TEST_DIR}/windows/activex_container.cpp)
target_link_libraries(windows_activex_container PRIVATE ole32 oleaut32 uuid user32 gdi32)
target_compile_options(windows_activex_container PRIVATE -Wno-non-virtual-dtor)
target_link_options(windows_activex_container PRIVATE -static -static-libgcc -static-libstdc++
  -municode)
set_target_properties(windows_activex_container PROPERTIES RUNTIME_OUTPUT_DIRECTORY
  ${CMAKE_BINARY_DIR})
