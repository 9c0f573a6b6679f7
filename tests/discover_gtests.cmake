# Included by CTest: lists the tests of one GoogleTest binary and adds each
# as a test of its own. Set by the caller: PREFIX, COMMAND (a list), FILTER
# (a --gtest_filter pattern), TIMEOUT, LOCK (the Wine prefix the tests
# share, or empty), SHARDS (how many copies of that prefix share the tests
# out: LOCK, LOCK+1, ...), LISTING (a file for the listing).
# Tests that run under Wine are labelled wine32. Where no Wine prefix is up
# (scripts/run-tests.sh sets TAVREL_WINE_TESTS_UNLISTED for the tests that
# need no Wine, and on a machine that cannot run 32-bit code) they are not
# listed: one test named after the program stands for them, so the run can
# say what it did not run.
# The listing goes through files, not pipes: a process the command leaves
# behind (a Wine server started for a prefix that was not running, and its
# services) could otherwise hold a pipe open and keep CTest waiting.
if(LOCK AND DEFINED ENV{TAVREL_WINE_TESTS_UNLISTED})
    list(GET COMMAND -1 program)
    get_filename_component(program ${program} NAME)
    add_test(${PREFIX}.${program} ${CMAKE_COMMAND} -E echo "${program} needs 32-bit Wine")
    set_tests_properties(${PREFIX}.${program} PROPERTIES LABELS wine32 WILL_FAIL TRUE)
    return()
endif()
execute_process(COMMAND ${COMMAND} --gtest_list_tests --gtest_filter=${FILTER}
    OUTPUT_FILE ${LISTING} ERROR_FILE ${LISTING}.errors RESULT_VARIABLE result TIMEOUT 120)
file(READ ${LISTING} listing)
file(READ ${LISTING}.errors errors)
if(NOT result EQUAL 0)
    add_test(${PREFIX}.listing-failed ${CMAKE_COMMAND} -E echo "could not list ${COMMAND}: ${errors}")
    set_tests_properties(${PREFIX}.listing-failed PROPERTIES WILL_FAIL TRUE)
    return()
endif()
string(REPLACE "\r" "" listing "${listing}")
string(REPLACE ";" "\\;" listing "${listing}")
string(REPLACE "\n" ";" lines "${listing}")
set(suite "")
set(found 0)
foreach(line IN LISTS lines)
    string(REGEX REPLACE " *#.*$" "" line "${line}")
    if(line MATCHES "^([^ ].*)\\.$")
        set(suite "${CMAKE_MATCH_1}")
    elseif(line MATCHES "^  ([^ ]+)$" AND NOT suite STREQUAL "")
        set(name "${suite}.${CMAKE_MATCH_1}")
        # A disabled case would run nothing and pass; the test that needs
        # it starts it itself.
        if(name MATCHES "(^|/|\\.)DISABLED_")
            continue()
        endif()
        set(command ${COMMAND})
        set(prefix_copy "${LOCK}")
        math(EXPR shard "${found} % ${SHARDS}")
        if(LOCK AND shard GREATER 0)
            # COMMAND is wine-run.sh PREFIX PROGRAM: the copy takes the prefix's place.
            set(prefix_copy "${LOCK}+${shard}")
            list(REMOVE_AT command 1)
            list(INSERT command 1 ${prefix_copy})
        endif()
        add_test(${PREFIX}.${name} ${command} --gtest_filter=${name})
        # A case that cannot run here says why and counts as skipped, not passed.
        set_tests_properties(${PREFIX}.${name} PROPERTIES TIMEOUT ${TIMEOUT}
                             SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]")
        if(LOCK)
            set_tests_properties(${PREFIX}.${name} PROPERTIES RESOURCE_LOCK ${prefix_copy}
                                 LABELS wine32)
        endif()
        math(EXPR found "${found} + 1")
    endif()
endforeach()
if(found EQUAL 0)
    add_test(${PREFIX}.none-listed ${CMAKE_COMMAND} -E echo "no test of ${COMMAND} matches ${FILTER}")
    set_tests_properties(${PREFIX}.none-listed PROPERTIES WILL_FAIL TRUE)
endif()
