# Included by CTest: lists the tests of one GoogleTest binary and adds each
# as a test of its own. Set by the caller: PREFIX, COMMAND (a list), FILTER
# (a --gtest_filter pattern), TIMEOUT, LOCK (the Wine prefix the tests
# share, or empty), LISTING (a file for the listing).
# The listing goes through files, not pipes: a process the command leaves
# behind (a Wine server started for a prefix that was not running, and its
# services) could otherwise hold a pipe open and keep CTest waiting.
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
        add_test(${PREFIX}.${name} ${COMMAND} --gtest_filter=${name})
        set_tests_properties(${PREFIX}.${name} PROPERTIES TIMEOUT ${TIMEOUT})
        if(LOCK)
            set_tests_properties(${PREFIX}.${name} PROPERTIES RESOURCE_LOCK ${LOCK})
        endif()
        math(EXPR found "${found} + 1")
    endif()
endforeach()
if(found EQUAL 0)
    add_test(${PREFIX}.none-listed ${CMAKE_COMMAND} -E echo "no test of ${COMMAND} matches ${FILTER}")
    set_tests_properties(${PREFIX}.none-listed PROPERTIES WILL_FAIL TRUE)
endif()
