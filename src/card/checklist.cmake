# The check list report (included from this folder's CMakeLists.txt).
add_library(tessary_checklist STATIC
    ${CMAKE_CURRENT_LIST_DIR}/memlist.h ${CMAKE_CURRENT_LIST_DIR}/memlist.cpp
)
tessary_publish_headers(tessary_checklist card)
target_link_libraries(tessary_checklist PUBLIC tessary_reportui tessary_photo tessary_data tessary_options)
