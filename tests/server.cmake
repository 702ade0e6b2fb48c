# The in-process server: unit tests with the server's objects linked in, and tests of the built
# library loaded the way a host loads it.
velmaris_test(server_tests
  unit/server/coerce_test.cpp
  unit/server/com_object_test.cpp
  unit/server/host_services_test.cpp
  unit/server/idl_test.cpp
  unit/server/invoke_test.cpp
  unit/server/object_safety_test.cpp
)
target_link_libraries(server_tests PRIVATE velmaris_server)

velmaris_test(server_library_tests unit/server/library_test.cpp)
target_link_libraries(server_library_tests PRIVATE velmaris_server_tables ${CMAKE_DL_LIBS})
target_compile_definitions(server_library_tests PRIVATE
  VELMARIS_LIBRARY="$<TARGET_FILE:VelmarisClient>")
add_dependencies(server_library_tests VelmarisClient)
