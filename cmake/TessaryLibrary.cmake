# tessary_publish_headers(<target> <folder>)
# A library publishes only its own headers: its users include them as
# "<folder>/name.h" through an include root that holds nothing but a link to
# this folder. A library therefore sees the headers of the libraries it links
# (those below it) and never those of a library above it.
function(tessary_publish_headers target folder)
    set(root ${CMAKE_BINARY_DIR}/include/${folder})
    file(MAKE_DIRECTORY ${root})
    if(NOT EXISTS ${root}/${folder})
        file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${root}/${folder} SYMBOLIC)
    endif()
    target_include_directories(${target} PUBLIC ${root})
endfunction()
