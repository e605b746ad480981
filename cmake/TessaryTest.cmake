# add_tessary_test(<name> SOURCES <files...> LIBS <targets...>)
# One QtTest executable per tested class; runs headless under ctest.
function(add_tessary_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} Qt6::Test tessary_options)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ASAN_OPTIONS=detect_leaks=0:abort_on_error=1;UBSAN_OPTIONS=print_stacktrace=1;QT_LOGGING_RULES=qt.qpa.*=false"
        TIMEOUT 300)
endfunction()
