# The page host's own tests (on a fake COM object) and the page scripts run end to end through it.

velmaris_test(host_tests
  unit/host/fake_com.cpp
  unit/host/text_test.cpp
  unit/host/variant_test.cpp
  unit/host/dispatch_test.cpp
  unit/host/host_members_test.cpp
  unit/host/bridge_test.cpp
)
target_link_libraries(host_tests PRIVATE velmaris_host_engine velmaris_bridge)

# Each page runs against the reference content server through the host and the built library; a
# page with the line `// server: https` (or `// server: https FAULT`) gets it over HTTPS, its test
# authority trusted through SSL_CERT_FILE (see pages/run_page.py).
file(GLOB VELMARIS_PAGE_SCRIPTS CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/pages/*.js)
foreach(page ${VELMARIS_PAGE_SCRIPTS})
  get_filename_component(page_name ${page} NAME_WE)
  add_test(NAME page.${page_name}
    COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/pages/run_page.py
      --host $<TARGET_FILE:velmaris> --library $<TARGET_FILE:VelmarisClient>
      --source-dir ${CMAKE_SOURCE_DIR} ${page})
  set_tests_properties(page.${page_name} PROPERTIES TIMEOUT 90)
endforeach()

# The picture pages read their sample pictures from tests/data/image.
foreach(page ${VELMARIS_PAGE_SCRIPTS})
  get_filename_component(page_name ${page} NAME_WE)
  if(page_name MATCHES "^(image_|https_)")
    set_tests_properties(page.${page_name} PROPERTIES
      ENVIRONMENT "VELMARIS_PICTURES=${CMAKE_SOURCE_DIR}/tests/data/image")
  endif()
endforeach()

velmaris_test(bridge_system_tests unit/host/bridge_system_test.cpp)
target_link_libraries(bridge_system_tests PRIVATE velmaris_bridge_system)
