# The fuzz targets: every fuzz/*.cpp but replay_main.cpp is one target, built as
# fuzz_<name> against the logic on the simulated platform (orv_sim). Included by the top
# CMakeLists.txt for the native tree and for the two clang trees of scripts/fuzz:
#   ORV_FUZZ=libfuzzer  the fuzz preset: clang with libFuzzer, ASan and UBSan
#   ORV_FUZZ=coverage   the fuzz-coverage preset: clang's line coverage, replaying files
#   (empty)             the native tree: each target replays its committed corpus and
#                       reproducers through a plain main(), as the CTest test
#                       fuzz_replay_<name>
file(GLOB ORV_FUZZ_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.cpp)
list(REMOVE_ITEM ORV_FUZZ_SOURCES ${CMAKE_CURRENT_LIST_DIR}/replay_main.cpp)

if(ORV_FUZZ STREQUAL "libfuzzer")
    set(ORV_FUZZ_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_compile_options(orv_sim PUBLIC ${ORV_FUZZ_FLAGS} -fsanitize=fuzzer-no-link)
    target_link_options(orv_sim PUBLIC ${ORV_FUZZ_FLAGS})
elseif(ORV_FUZZ STREQUAL "coverage")
    target_compile_options(orv_sim PUBLIC -fprofile-instr-generate -fcoverage-mapping)
    target_link_options(orv_sim PUBLIC -fprofile-instr-generate -fcoverage-mapping)
elseif(ORV_FUZZ)
    message(FATAL_ERROR "ORV_FUZZ is libfuzzer, coverage or empty, not '${ORV_FUZZ}'")
endif()

foreach(source IN LISTS ORV_FUZZ_SOURCES)
    get_filename_component(name ${source} NAME_WE)
    if(ORV_FUZZ STREQUAL "libfuzzer")
        add_executable(fuzz_${name} ${source})
        target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
    else()
        add_executable(fuzz_${name} ${source} ${CMAKE_CURRENT_LIST_DIR}/replay_main.cpp)
    endif()
    target_compile_options(fuzz_${name} PRIVATE ${WARNINGS})
    target_link_libraries(fuzz_${name} PRIVATE orv_sim)
    if(NOT ORV_FUZZ)
        add_test(NAME fuzz_replay_${name}
                 COMMAND fuzz_${name} ${CMAKE_CURRENT_LIST_DIR}/corpus/${name}
                         ${CMAKE_CURRENT_LIST_DIR}/reproducers/${name})
    endif()
endforeach()
