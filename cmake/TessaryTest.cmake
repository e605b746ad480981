# The environment every test runs in: headless, sanitizers set to stop at the
# first fault.
set(TESSARY_TEST_ENVIRONMENT
    "QT_QPA_PLATFORM=offscreen;ASAN_OPTIONS=detect_leaks=0:abort_on_error=1;UBSAN_OPTIONS=print_stacktrace=1;QT_LOGGING_RULES=qt.qpa.*=false")

# The private PostgreSQL cluster of the server runs (scripts/pg-cluster.sh),
# started and stopped by the test fixture `pgcluster` (tests/CMakeLists.txt).
# Its folder is short and fixed per build folder: the socket's path is limited
# to 107 bytes, and a cluster left by a killed run is replaced by the next.
string(MD5 _tessary_build_hash "${CMAKE_BINARY_DIR}")
string(SUBSTRING "${_tessary_build_hash}" 0 8 _tessary_build_hash)
set(TESSARY_PG_DIR "/tmp/tpg-${_tessary_build_hash}")
set(TESSARY_PG_CONNINFO "host=${TESSARY_PG_DIR} user=tessary dbname=postgres")

# add_tessary_test(<name> SOURCES <files...> LIBS <targets...> [ENGINES])
# One QtTest executable per tested class; runs headless under ctest.
# ENGINES: the test touches the card database and runs on both engines: as
# <name> on the embedded file and as <name>_server on the private cluster,
# with TESSARY_TEST_ENGINE=server and TESSARY_TEST_SERVER (the cluster's
# connection string) in its environment.
function(add_tessary_test name)
    cmake_parse_arguments(ARG "ENGINES" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} Qt6::Test tessary_options)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "${TESSARY_TEST_ENVIRONMENT}"
        TIMEOUT 300)
    if(ARG_ENGINES)
        add_test(NAME ${name}_server COMMAND ${name})
        set_tests_properties(${name}_server PROPERTIES
            ENVIRONMENT "${TESSARY_TEST_ENVIRONMENT};TESSARY_TEST_ENGINE=server;TESSARY_TEST_SERVER=${TESSARY_PG_CONNINFO}"
            FIXTURES_REQUIRED pgcluster
            TIMEOUT 300)
    endif()
endfunction()

# set_tessary_test_properties(<name> <property> <value>...)
# Sets test properties on <name> and, when it runs on both engines, on
# <name>_server too. Not for ENVIRONMENT, which differs between the two.
function(set_tessary_test_properties name)
    foreach(t ${name} ${name}_server)
        if(TEST ${t})
            set_tests_properties(${t} PROPERTIES ${ARGN})
        endif()
    endforeach()
endfunction()
