# The messaging layer, the folder lookup and the conversion run (no Qt).
add_library(vantorel_conversion STATIC
  ${CMAKE_CURRENT_LIST_DIR}/box_texts.cpp
  ${CMAKE_CURRENT_LIST_DIR}/engine.cpp
  ${CMAKE_CURRENT_LIST_DIR}/folder_path.cpp
  ${CMAKE_CURRENT_LIST_DIR}/messaging.cpp
  ${CMAKE_CURRENT_LIST_DIR}/open_mapi_folder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pst_file_name.cpp)
target_include_directories(vantorel_conversion PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(vantorel_conversion PUBLIC vantorel_convhelpers)
# The PST writer and the importer, once both are complete (the writer needs the table layer).
if(TARGET vantorel_pst_messaging AND TARGET vantorel_mail AND EXISTS ${CMAKE_SOURCE_DIR}/pst/ltp/table_context.cpp)
  target_sources(vantorel_conversion PRIVATE ${CMAKE_CURRENT_LIST_DIR}/pst_backend.cpp)
  target_link_libraries(vantorel_conversion PUBLIC vantorel_pst_messaging vantorel_mail)
else()
  target_sources(vantorel_conversion PRIVATE ${CMAKE_CURRENT_LIST_DIR}/pst_backend_unavailable.cpp)
endif()
