# cmake -DCOMPILER=<c++> -DINCLUDE=<corelib/Include> -DSNIPPET=<file> -P traceformat_test.cmake
#
# A trace format that msvcrt's printf would print wrongly does not compile:
# the compiler rejects the %zu of each function of the snippet, one calling
# LumaretTrace, one CxTrace::Write, with the project's warning flags.
cmake_minimum_required(VERSION 3.21)

set(ENV{LC_ALL} C) # plain quotes in the diagnostics
execute_process(COMMAND ${COMPILER} -std=c++17 -Wall -Wextra -Werror -fsyntax-only -I${INCLUDE} ${SNIPPET}
    RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
set(failures "")
foreach(function TraceSize WriteSize)
    if(NOT output MATCHES "In function 'void ${function}\\([^\n]*\n[^\n]*unknown conversion type character 'z'")
        string(APPEND failures "\n${function}: its %zu was not rejected")
    endif()
endforeach()
if(status EQUAL 0 OR failures)
    message(FATAL_ERROR "exit status ${status}${failures}\ncompiler output:\n${output}")
endif()
message(STATUS "both formats rejected")
