# The bridge and its client in a real browser: each page of tests/browser/pages opened in a
# headless Chromium through `velmaris bridge`, against the reference content server, and the
# bridge's door tried with raw WebSocket requests (see browser/run_browser.py). Without Chromium,
# node or npm the page tests report themselves skipped.
file(GLOB VELMARIS_BROWSER_PAGES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/browser/pages/*.html)
set(VELMARIS_BROWSER_TESTS door)
foreach(page ${VELMARIS_BROWSER_PAGES})
  get_filename_component(page_name ${page} NAME_WE)
  list(APPEND VELMARIS_BROWSER_TESTS ${page_name})
endforeach()
foreach(name ${VELMARIS_BROWSER_TESTS})
  add_test(NAME browser.${name}
    COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/browser/run_browser.py
      --host $<TARGET_FILE:velmaris> --library $<TARGET_FILE:VelmarisClient>
      --source-dir ${CMAKE_SOURCE_DIR} ${name})
  set_tests_properties(browser.${name} PROPERTIES TIMEOUT 120 SKIP_RETURN_CODE 77)
endforeach()
