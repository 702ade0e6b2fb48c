# The page host's own tests and the page scripts run end to end through it.

velmaris_test(host_bridge_tests
  pages/bridge/fake_com.cpp
  pages/bridge/text_test.cpp
  pages/bridge/variant_test.cpp
  pages/bridge/dispatch_test.cpp
)
target_link_libraries(host_bridge_tests PRIVATE velmaris_host_engine)
