# cmake -DCOMPILER=<c++> -DINCLUDE=<corelib/Include> -DSNIPPET=<file> -P traceformat_test.cmake
#
# A trace format that Windows XP's msvcrt cannot print does not compile: the
# compiler, with the project's warning flags, refuses each Reject... function
# of the snippet with the diagnostic named below, and finds nothing to say
# about PrintSixtyFourBits, which writes 64-bit values as that msvcrt does.
cmake_minimum_required(VERSION 3.21)

set(ENV{LC_ALL} C) # plain quotes in the diagnostics
execute_process(COMMAND ${COMPILER} -std=c++17 -Wall -Wextra -Werror -fsyntax-only -I${INCLUDE} ${SNIPPET}
    RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)

# The diagnostics under one function's "In function" line, up to the next such line.
function(diagnostics_of function variable)
    set(heading "In function 'void ${function}(")
    string(FIND "${output}" "${heading}" start)
    set(text "")
    if(start GREATER -1)
        string(LENGTH "${heading}" length)
        math(EXPR start "${start} + ${length}")
        string(SUBSTRING "${output}" ${start} -1 text)
        string(FIND "${text}" "In function '" end)
        string(SUBSTRING "${text}" 0 ${end} text)
    endif()
    set(${variable} "${text}" PARENT_SCOPE)
endfunction()

set(by_trace_check "static assertion failed: trace format")
set(by_gcc "unknown conversion type character 'z'")
set(failures "")
foreach(row "RejectSize|${by_trace_check}" "RejectLongLong|${by_trace_check}"
        "RejectUnsignedLongLong|${by_trace_check}" "RejectWriteSize|${by_gcc}")
    string(REPLACE "|" ";" row "${row}")
    list(GET row 0 function)
    list(GET row 1 diagnostic)
    diagnostics_of(${function} text)
    string(FIND "${text}" "${diagnostic}" found)
    if(found EQUAL -1)
        string(APPEND failures "\n${function}: not rejected with \"${diagnostic}\"")
    endif()
endforeach()
diagnostics_of(PrintSixtyFourBits text)
if(text)
    string(APPEND failures "\nPrintSixtyFourBits: rejected")
endif()
if(status EQUAL 0 OR failures)
    message(FATAL_ERROR "exit status ${status}${failures}\ncompiler output:\n${output}")
endif()
message(STATUS "every Reject function rejected, PrintSixtyFourBits accepted")
