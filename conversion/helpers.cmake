# Sorting and path helpers of the conversion run: plain C++, no Qt.
add_library(vantorel_convhelpers STATIC ${CMAKE_CURRENT_LIST_DIR}/sort_helpers.cpp)
target_include_directories(vantorel_convhelpers PUBLIC ${CMAKE_SOURCE_DIR})
