# The release package's test (tests/package/test_package.py), in the 32-bit tree, the one
# that ships. It makes the package with scripts/package (which builds nothing new after
# the tree's own build) and checks it; its Wine part runs where 32-bit programs run. So
# ORV_WINDOWS_ARCH is not the tree's here but the machine's (scripts/lib/env.sh's choice,
# or what the caller forces).
add_test(NAME package
         COMMAND ${ORV_PYTHON3} tests/run_unittest.py tests/package/test_package.py
         WORKING_DIRECTORY ${CMAKE_SOURCE_DIR})
set_tests_properties(package PROPERTIES
    RUN_SERIAL TRUE
    TIMEOUT 300
    LABELS package
    ENVIRONMENT "ORV_BUILD_DIR=${CMAKE_BINARY_DIR};ORV_SKIPPED_LOG=${CMAKE_BINARY_DIR}/skipped.txt;ORV_VERSION=${PROJECT_VERSION};ORV_HOST=$<TARGET_FILE:host>;ORV_DLL=$<TARGET_FILE:OrvalinMugenBGM>;ORV_CHECKER=$<TARGET_FILE:bgm-check>;ORV_E2E_WORK=${CMAKE_BINARY_DIR}/e2e-work;ORV_OBJDUMP=${ORV_OBJDUMP};PYTHONDONTWRITEBYTECODE=1")
