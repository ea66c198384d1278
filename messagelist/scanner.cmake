# The folder scanner and the message-file test: no Qt, so the command-line converter links them too.
add_library(vantorel_pathlogger STATIC
  ${CMAKE_CURRENT_LIST_DIR}/file_checks.cpp
  ${CMAKE_CURRENT_LIST_DIR}/path_logger.cpp
  ${CMAKE_CURRENT_LIST_DIR}/message_filter.cpp)
target_include_directories(vantorel_pathlogger PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(vantorel_pathlogger PUBLIC vantorel_platform)
