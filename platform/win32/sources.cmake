# The Windows platform set's sources; they need ws2_32, mswsock, secur32, crypt32, comdlg32,
# shell32, ole32 and advapi32.
set(VELMARIS_WIN32_PLATFORM_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/com_office.cpp
  ${CMAKE_CURRENT_LIST_DIR}/platform_sets.cpp
  ${CMAKE_CURRENT_LIST_DIR}/schannel_channel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/win32_filesystem.cpp
  ${CMAKE_CURRENT_LIST_DIR}/win32_ui.cpp
  ${CMAKE_CURRENT_LIST_DIR}/window_loop.cpp
  ${CMAKE_CURRENT_LIST_DIR}/winsock_socket.cpp
)
