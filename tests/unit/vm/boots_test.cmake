# cmake -DSCRIPT=<guest-tests.cmake> -DCTEST=<ctest> -DWORK=<dir> -P boots_test.cmake
#
# Sorting a build's test list into a machine's boots: by the processor model
# and display depth of the labels for that machine (and no other), with the
# fixtures' setup tests brought along, skipped tests left out with their
# reason, timeouts scaled, arguments kept whole, and the biggest boot split
# into balanced shards.
cmake_minimum_required(VERSION 3.21)

set(failures "")
function(expect what actual expected)
    if(NOT actual STREQUAL expected)
        set(failures "${failures}\n${what}:\n  expected [${expected}]\n  actual   [${actual}]" PARENT_SCOPE)
    endif()
endfunction()

# sort(<case> <json> [-D...]): runs the script on <json>; output in WORK/<case>.
function(sort case json)
    file(WRITE "${WORK}/${case}.json" "${json}")
    execute_process(COMMAND ${CMAKE_COMMAND} -DJSON=${WORK}/${case}.json -DOUT=${WORK}/${case} ${ARGN} -P ${SCRIPT}
                    RESULT_VARIABLE status ERROR_VARIABLE errors)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "${case}: the script failed: ${errors}")
    endif()
endfunction()

function(read_out var case file)
    file(READ "${WORK}/${case}/${file}" text)
    set(${var} "${text}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE "${WORK}")

# Boots by label; the fixture's setup test goes with the test that needs it.
# Each machine reads its own labels only.
set(labelled [===[
{ "kind" : "ctestInfo", "tests" : [
  { "name" : "plain", "command" : [ "/bin/sh", "-c", "exit 0" ],
    "properties" : [ { "name" : "DISABLED", "value" : true }, { "name" : "TIMEOUT", "value" : 30.0 } ] },
  { "name" : "args",
    "command" : [ "/bin/sh", "-c", "test $# = 3 && test \"$1\" = 'a;b' && test \"$2\" = 'x]=]y' && test \"$3\" = 'two words'",
                  "sh", "a;b", "x]=]y", "two words" ],
    "properties" : [ { "name" : "DISABLED", "value" : true } ] },
  { "name" : "setup", "command" : [ "/bin/sh", "-c", "exit 0" ],
    "properties" : [ { "name" : "DISABLED", "value" : true }, { "name" : "FIXTURES_SETUP", "value" : [ "prefix" ] } ] },
  { "name" : "p3", "command" : [ "/bin/sh", "-c", "exit 0" ],
    "properties" : [ { "name" : "DISABLED", "value" : true }, { "name" : "FIXTURES_REQUIRED", "value" : [ "prefix" ] },
                     { "name" : "LABELS", "value" : [ "i386vm:cpu=pentium3", "wow64vm:skip=no Pentium III here" ] } ] },
  { "name" : "d16", "command" : [ "/bin/sh", "-c", "exit 0" ],
    "properties" : [ { "name" : "DISABLED", "value" : true },
                     { "name" : "LABELS", "value" : [ "other", "i386vm:depth=16", "wow64vm:depth=16" ] } ] },
  { "name" : "skipme", "command" : [ "/bin/false" ],
    "properties" : [ { "name" : "DISABLED", "value" : true }, { "name" : "LABELS", "value" : [ "i386vm:skip" ] } ] }
] }
]===])
sort(labels "${labelled}")
read_out(boots labels boots.txt)
expect("boots" "${boots}" "1 default 24 3\n2 default 16 1\n3 pentium3 24 2\n")
foreach(row "1|plain\nargs\nsetup\n" "2|d16\n" "3|setup\np3\n")
    string(REPLACE "|" ";" row "${row}")
    list(GET row 0 boot)
    list(GET row 1 names)
    read_out(listed labels ${boot}/tests.txt)
    expect("tests of boot ${boot}" "${listed}" "${names}")
endforeach()
read_out(skipped labels skipped.txt)
expect("skipped" "${skipped}" "skipme\n")
read_out(testfile labels 1/CTestTestfile.cmake)
string(FIND "${testfile}" "DISABLED" disabled)
expect("disabled again in the machine" "${disabled}" "-1")
string(FIND "${testfile}" "TIMEOUT [=[120]=]" scaled)
if(scaled EQUAL -1)
    expect("timeout 30 s times 4" "${testfile}" "TIMEOUT [=[120]=]")
endif()

sort(wow64 "${labelled}" -DMACHINE=wow64vm)
read_out(boots wow64 boots.txt)
expect("WoW64 boots" "${boots}" "1 default 24 4\n2 default 16 1\n")
read_out(listed wow64 1/tests.txt)
expect("tests of the WoW64 machine's first boot" "${listed}" "plain\nargs\nsetup\nskipme\n")
read_out(skipped wow64 skipped.txt)
expect("skipped in the WoW64 machine, with the reason" "${skipped}" "p3: no Pentium III here\n")

# The lists run as they are: every argument arrives whole, the setup runs.
foreach(boot 1 3)
    execute_process(COMMAND ${CTEST} --test-dir ${WORK}/labels/${boot} RESULT_VARIABLE status OUTPUT_VARIABLE out)
    expect("CTest over boot ${boot}" "${status}" "0")
endforeach()

# Shards: split only when a boot has two per shard, longest first to the
# shard with the least, by last time's seconds, else by the timeouts.
set(five [===[
{ "kind" : "ctestInfo", "tests" : [
  { "name" : "t1", "command" : [ "/bin/true" ], "properties" : [ { "name" : "TIMEOUT", "value" : 900.0 } ] },
  { "name" : "t2", "command" : [ "/bin/true" ], "properties" : [ { "name" : "TIMEOUT", "value" : 300.0 } ] },
  { "name" : "t3", "command" : [ "/bin/true" ], "properties" : [ { "name" : "TIMEOUT", "value" : 300.0 } ] },
  { "name" : "t4", "command" : [ "/bin/true" ], "properties" : [ { "name" : "TIMEOUT", "value" : 300.0 } ] },
  { "name" : "t5", "command" : [ "/bin/true" ], "properties" : [ { "name" : "TIMEOUT", "value" : 300.0 } ] }
] }
]===])
file(WRITE "${WORK}/costs.txt" "100 t1\n90 t2\n60 t3\n40 t4\n5 t5\n")
foreach(row
        "one|-DSHARDS=1|1 default 24 5\n|t1\nt2\nt3\nt4\nt5\n|"
        "too few for three|-DSHARDS=3|1 default 24 5\n|t1\nt2\nt3\nt4\nt5\n|"
        "by seconds|-DSHARDS=2 -DCOSTS=${WORK}/costs.txt|1 default 24 3\n2 default 24 2\n|t1\nt4\nt5\n|t2\nt3\n")
    string(REPLACE "|" ";" row "${row}")
    list(GET row 0 case)
    list(GET row 1 options)
    list(GET row 2 expected_boots)
    list(GET row 3 expected_first)
    list(GET row 4 expected_second)
    string(REPLACE " " "_" dir "${case}")
    separate_arguments(options)
    sort(${dir} "${five}" ${options})
    read_out(boots ${dir} boots.txt)
    expect("${case}: boots" "${boots}" "${expected_boots}")
    read_out(first ${dir} 1/tests.txt)
    expect("${case}: first boot" "${first}" "${expected_first}")
    if(expected_second)
        read_out(second ${dir} 2/tests.txt)
        expect("${case}: second boot" "${second}" "${expected_second}")
    endif()
endforeach()

# By timeouts: the 900 s test alone against three of 300 s, the fifth to the first.
sort(by_timeouts "${five}" -DSHARDS=2)
read_out(boots by_timeouts boots.txt)
expect("by timeouts: boots" "${boots}" "1 default 24 2\n2 default 24 3\n")
read_out(first by_timeouts 1/tests.txt)
string(REGEX MATCH "^t1\n" leads "${first}")
expect("by timeouts: the longest test leads the first boot" "${leads}" "t1\n")

if(failures)
    message(FATAL_ERROR "${failures}")
endif()
message(STATUS "all checks passed")
