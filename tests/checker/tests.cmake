# The game-folder checker's tests (tests/checker/test_checker.py), included by both
# trees: the native tree runs the Linux build, the Windows tree the Windows console
# build through the emulator (Wine), like the end-to-end tests, and compares its
# reports with the Linux build's (build/native/bgm-check, when it is built).
find_program(ORV_PYTHON3 NAMES python3 REQUIRED)
if(WIN32)
    set(ORV_CHECKER_TEST checker_report_wine)
    # Starts the checker with a console of its own or a shared one (the double-click rule).
    add_executable(console_probe tests/checker/console_probe.cpp)
    target_compile_options(console_probe PRIVATE ${WARNINGS})
    target_link_options(console_probe PRIVATE -static -static-libgcc -static-libstdc++)
    set(ORV_CHECKER_ENV "ORV_WINDOWS_ARCH=${ORV_WINDOWS_ARCH};ORV_CHECKER_EMULATOR=${CMAKE_CROSSCOMPILING_EMULATOR};ORV_NATIVE_CHECKER=${CMAKE_SOURCE_DIR}/build/native/bgm-check;ORV_CONSOLE_PROBE=$<TARGET_FILE:console_probe>")
else()
    set(ORV_CHECKER_TEST checker_report)
    set(ORV_CHECKER_ENV "")
endif()
add_test(NAME ${ORV_CHECKER_TEST}
         COMMAND ${ORV_PYTHON3} tests/run_unittest.py tests/checker/test_checker.py
         WORKING_DIRECTORY ${CMAKE_SOURCE_DIR})
set_tests_properties(${ORV_CHECKER_TEST} PROPERTIES
    TIMEOUT 300
    ENVIRONMENT "ORV_VERSION=${PROJECT_VERSION};ORV_SKIPPED_LOG=${CMAKE_BINARY_DIR}/skipped.txt;ORV_CHECKER=$<TARGET_FILE:bgm-check>;ORV_CHECKER_WORK=${CMAKE_BINARY_DIR}/checker-work;PYTHONDONTWRITEBYTECODE=1;${ORV_CHECKER_ENV}")
