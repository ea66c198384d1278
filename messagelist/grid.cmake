# The message list grid, its counter and the add-files and clear commands (Qt).
set(_vantorel_grid_sources
  ${CMAKE_CURRENT_LIST_DIR}/twips.h
  ${CMAKE_CURRENT_LIST_DIR}/native_path.h ${CMAKE_CURRENT_LIST_DIR}/native_path.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_list_model.h ${CMAKE_CURRENT_LIST_DIR}/file_list_model.cpp
  ${CMAKE_CURRENT_LIST_DIR}/entry_width.h ${CMAKE_CURRENT_LIST_DIR}/entry_width.cpp
  ${CMAKE_CURRENT_LIST_DIR}/message_grid.h ${CMAKE_CURRENT_LIST_DIR}/message_grid.cpp
  ${CMAKE_CURRENT_LIST_DIR}/list_commands.h ${CMAKE_CURRENT_LIST_DIR}/list_commands.cpp
)
# The scanner's build file may have made the library already.
if(TARGET vantorel_messagelist)
  target_sources(vantorel_messagelist PRIVATE ${_vantorel_grid_sources})
else()
  add_library(vantorel_messagelist STATIC ${_vantorel_grid_sources})
endif()
set_target_properties(vantorel_messagelist PROPERTIES AUTOMOC ON)
target_include_directories(vantorel_messagelist PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(vantorel_messagelist PUBLIC vantorel_shellutil Qt6::Widgets)
