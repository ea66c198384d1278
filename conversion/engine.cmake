# The messaging layer, the folder lookup and the conversion run (no Qt), over the PST writer
# and the message importer.
add_library(vantorel_conversion STATIC
  ${CMAKE_CURRENT_LIST_DIR}/allocator_tuning.cpp
  ${CMAKE_CURRENT_LIST_DIR}/box_texts.cpp
  ${CMAKE_CURRENT_LIST_DIR}/drive_roots.cpp
  ${CMAKE_CURRENT_LIST_DIR}/engine.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_importer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/folder_name_text.cpp
  ${CMAKE_CURRENT_LIST_DIR}/folder_path.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ledger.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mailbox_layout.cpp
  ${CMAKE_CURRENT_LIST_DIR}/message_status.cpp
  ${CMAKE_CURRENT_LIST_DIR}/messaging.cpp
  ${CMAKE_CURRENT_LIST_DIR}/open_mapi_folder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/part_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pst_backend.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pst_file_name.cpp
  ${CMAKE_CURRENT_LIST_DIR}/reader_pool.cpp
  ${CMAKE_CURRENT_LIST_DIR}/reader_process.cpp
  ${CMAKE_CURRENT_LIST_DIR}/server_index.cpp)
target_include_directories(vantorel_conversion PUBLIC ${CMAKE_SOURCE_DIR})
find_package(Threads REQUIRED)
pkg_check_modules(SQLITE3 REQUIRED IMPORTED_TARGET sqlite3)
target_link_libraries(vantorel_conversion PUBLIC Threads::Threads vantorel_convhelpers vantorel_pst_messaging vantorel_mail
  vantorel_reader_protocol vantorel_platform PkgConfig::SQLITE3)
# Every program that converts starts vantorel-reader from its own folder: build it with them.
add_dependencies(vantorel_conversion vantorel-reader)
