# End-to-end tests: the real DLL in the stand-in host under Wine, with sound.
# Included by the top CMakeLists.txt in the Windows (cross) build.
#
# Every tests/e2e/test_*.py becomes the CTest test e2e_<name>, run with the system
# Python from the repository root. The tests set up Wine and PulseAudio themselves
# (harness.orv_env, which runs scripts/lib/env.sh), so `ctest --preset windows`
# works on its own. Each host run plays into a null sink of its own; they still run
# one at a time, since their timings are measured.

find_program(ORV_PYTHON3 NAMES python3 REQUIRED)
# The objdump of the tree's own target (i686 or x86_64), for the export test.
string(REGEX REPLACE "gcc(-posix)?$" "objdump" ORV_OBJDUMP_NAME "${CMAKE_C_COMPILER}")
get_filename_component(ORV_OBJDUMP_NAME "${ORV_OBJDUMP_NAME}" NAME)
find_program(ORV_OBJDUMP NAMES ${ORV_OBJDUMP_NAME})
if(NOT ORV_OBJDUMP)
    set(ORV_OBJDUMP ${ORV_OBJDUMP_NAME})
endif()
# Every test of the tree runs under the Wine of its own architecture (scripts/wine-run).
set(ORV_TREE_ENV "ORV_WINDOWS_ARCH=${ORV_WINDOWS_ARCH};ORV_BUILD_DIR=${CMAKE_BINARY_DIR};ORV_SKIPPED_LOG=${CMAKE_BINARY_DIR}/skipped.txt")

set(ORV_E2E_TIMEOUT 300 CACHE STRING "Time limit of one end-to-end test file, in seconds")

file(GLOB ORV_E2E_TESTS CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/test_*.py)
list(SORT ORV_E2E_TESTS)
foreach(test_file IN LISTS ORV_E2E_TESTS)
    get_filename_component(test_module ${test_file} NAME_WE)
    string(REGEX REPLACE "^test_" "" test_name ${test_module})
    add_test(NAME e2e_${test_name}
             COMMAND ${ORV_PYTHON3} tests/run_unittest.py ${test_file}
             WORKING_DIRECTORY ${CMAKE_SOURCE_DIR})
    set_tests_properties(e2e_${test_name} PROPERTIES
        RUN_SERIAL TRUE
        TIMEOUT ${ORV_E2E_TIMEOUT}
        LABELS e2e
        ENVIRONMENT "${ORV_TREE_ENV};ORV_HOST=$<TARGET_FILE:host>;ORV_DIST=${ORV_PLUGINS_DIR};ORV_DLL=$<TARGET_FILE:OrvalinMugenBGM>;ORV_E2E_WORK=${CMAKE_BINARY_DIR}/e2e-work;ORV_OBJDUMP=${ORV_OBJDUMP};PYTHONDONTWRITEBYTECODE=1")
endforeach()

# The stand-in host itself, run through CMake's emulator (Wine), in the laid-out game
# folder of the tree (dist/ for the 32-bit one): it loads plugins\OrvalinMugenBGM.dll, starts and stops it, unloads it.
file(WRITE ${CMAKE_BINARY_DIR}/load-check.txt "init\nisourfile any.mp3\ngetoutputtime\nquit\nfree\n")
add_test(NAME host_loads_plugin
         COMMAND host --title "Load check" ${CMAKE_BINARY_DIR}/load-check.txt
         WORKING_DIRECTORY ${ORV_GAME_DIR})
set_tests_properties(host_loads_plugin PROPERTIES
    TIMEOUT 60
    ENVIRONMENT "${ORV_TREE_ENV}"
    PASS_REGULAR_EXPRESSION "isourfile \"any.mp3\" -> 1.*getoutputtime -> 0.*free unloaded=1.*end")
