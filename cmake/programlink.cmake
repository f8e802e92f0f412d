# How the shipped program is linked, in one place for it and for the test
# programs that must link exactly as it does: ferrotune_program_link(<target>).
#
# The header states the oldest Windows the program runs on (README): Windows
# XP, 5.1, for x86 and its 64-bit edition, 5.2, for x64, as operating system
# and subsystem versions. The linker's default is 4.0, which would let older
# systems try to start it and fail on an import.
#
# Our objects are compiled by the -posix compilers, whose runtime the tests
# need for std::thread. The program instead links the C++ runtime that the
# same GCC release builds for Windows threads (-win32): the POSIX-threads one
# would bring winpthreads (30 KB, and an import of GetTickCount64 that Windows
# XP lacks). The two runtimes' configuration headers differ in their threading
# macros (_GLIBCXX_HAS_GTHREADS, the clocks, nanosleep), so what keeps the mix
# safe is this: the product uses no threading facility of the C++ library, and
# one that came in (std::mutex, std::thread, std::call_once, sleep_for) would
# fail to link, since the -posix headers then call winpthreads, which is left
# out (-no-pthread drops the driver's own -lpthread). Everything else must be
# the same release, which configuring checks below.
#
# Builds without our toolchains (no FERROTUNE_TRIPLET) link the compiler's
# usual runtime.

function(ferrotune_program_link target)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        set(oldest_minor 2)
    else()
        set(oldest_minor 1)
    endif()
    target_link_options(${target} PRIVATE
        -Wl,--major-os-version,5,--minor-os-version,${oldest_minor},--major-subsystem-version,5,--minor-subsystem-version,${oldest_minor})
    if(FERROTUNE_PROGRAM_RUNTIME_DIR)
        target_link_options(${target} PRIVATE -L${FERROTUNE_PROGRAM_RUNTIME_DIR} -no-pthread)
    endif()
endfunction()

if(NOT FERROTUNE_TRIPLET)
    return()
endif()

# "GCC <major>.<minor>.<patch>, libstdc++ <date>" of a C++ compiler: the version
# macros alone do not tell Debian's builds apart, libstdc++'s release date does.
set(release_probe ${CMAKE_BINARY_DIR}/CMakeFiles/gccrelease.cpp)
file(WRITE ${release_probe} "#include <cstddef>\nrelease __GNUC__ __GNUC_MINOR__ __GNUC_PATCHLEVEL__ __GLIBCXX__\n")
function(ferrotune_gcc_release compiler variable)
    execute_process(COMMAND ${compiler} -E -P -x c++ ${release_probe}
        OUTPUT_VARIABLE output ERROR_QUIET RESULT_VARIABLE result)
    if(NOT result EQUAL 0 OR NOT output MATCHES "release ([0-9]+) ([0-9]+) ([0-9]+) ([0-9]+)")
        message(FATAL_ERROR "${compiler} is missing or does not compile C++: run tools/install-deps.sh")
    endif()
    set(${variable} "GCC ${CMAKE_MATCH_1}.${CMAKE_MATCH_2}.${CMAKE_MATCH_3}, libstdc++ ${CMAKE_MATCH_4}" PARENT_SCOPE)
endfunction()

set(win32_compiler ${FERROTUNE_TRIPLET}-g++-win32)
ferrotune_gcc_release(${CMAKE_CXX_COMPILER} posix_release)
ferrotune_gcc_release(${win32_compiler} win32_release)
if(NOT posix_release STREQUAL win32_release)
    message(FATAL_ERROR "${CMAKE_CXX_COMPILER} is ${posix_release} but ${win32_compiler} is ${win32_release}: "
        "the program's objects are linked against the -win32 compiler's C++ runtime, which is safe only within "
        "one GCC release. Install the same release of both (tools/install-deps.sh).")
endif()

# The -win32 runtime's folder is that of its libgcc.a. A compiler that cannot
# find its libgcc.a prints the bare name: the folder would come out empty and
# the program would quietly link the -posix runtime instead.
execute_process(COMMAND ${win32_compiler} -print-libgcc-file-name
    OUTPUT_VARIABLE libgcc OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(FERROTUNE_PROGRAM_RUNTIME_DIR "${libgcc}" DIRECTORY)
if(NOT IS_ABSOLUTE "${FERROTUNE_PROGRAM_RUNTIME_DIR}" OR NOT EXISTS "${FERROTUNE_PROGRAM_RUNTIME_DIR}/libstdc++.a")
    message(FATAL_ERROR "The folder of the C++ runtime that the program links cannot be found: "
        "${win32_compiler} -print-libgcc-file-name printed \"${libgcc}\", and no libstdc++.a lies beside it. "
        "Install the -win32 compiler's runtime (tools/install-deps.sh).")
endif()
unset(release_probe)
unset(win32_compiler)
unset(libgcc)
