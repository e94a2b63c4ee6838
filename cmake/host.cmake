# The Linux host build: native tests of the pure rules under sanitizers, the two Windows
# cross builds, and the tests that run them under Wine, all in one ctest run.
include(ExternalProject)

set(SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
add_subdirectory(${GOOGLETEST_SOURCE} googletest EXCLUDE_FROM_ALL)

add_library(harkwin_pure STATIC ${PURE_SOURCES})
target_include_directories(harkwin_pure PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(harkwin_pure PRIVATE -Wall -Wextra -Werror ${SANITIZE})

file(GLOB NATIVE_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/native/*.cpp)
add_executable(native_tests ${NATIVE_TESTS})
target_compile_options(native_tests PRIVATE -Wall -Wextra -Werror ${SANITIZE})
target_compile_definitions(native_tests PRIVATE HARKWIN_ICON_DIR="${CMAKE_SOURCE_DIR}/app/icons")
target_link_libraries(native_tests PRIVATE harkwin_pure gtest_main)
target_link_options(native_tests PRIVATE ${SANITIZE})
add_test(NAME native COMMAND native_tests)

foreach(arch x86_64 i686)
    set(tests OFF)
    if(arch STREQUAL x86_64)
        set(tests ON)
    endif()
    ExternalProject_Add(win-${arch}
        SOURCE_DIR ${CMAKE_SOURCE_DIR}
        BINARY_DIR ${CMAKE_BINARY_DIR}/win-${arch}
        CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-${arch}.cmake
                   -DCMAKE_BUILD_TYPE=MinSizeRel -DHARKWIN_TESTS=${tests}
                   -DGOOGLETEST_SOURCE=${GOOGLETEST_SOURCE}
        BUILD_ALWAYS ON
        INSTALL_COMMAND "")
endforeach()

set(WIN64 ${CMAKE_BINARY_DIR}/win-x86_64)
set(SANDBOX ${CMAKE_SOURCE_DIR}/e2e/sandbox.sh)
# Each Wine layer passes on its program's own verdict: Wine can end a program half way with code 0.
set(GTEST_VERDICT ${CMAKE_SOURCE_DIR}/e2e/verdict.sh gtest)
set(E2E_VERDICT ${CMAKE_SOURCE_DIR}/e2e/verdict.sh e2e)
add_test(NAME imports COMMAND ${CMAKE_SOURCE_DIR}/e2e/check_imports.sh
         ${WIN64}/Harkwin.exe ${CMAKE_BINARY_DIR}/win-i686/Harkwin.exe)
add_test(NAME program COMMAND ${SANDBOX} ${GTEST_VERDICT} wine ${WIN64}/program_tests.exe)
add_test(NAME end_to_end COMMAND ${SANDBOX} --pictures ${CMAKE_BINARY_DIR}/pictures
         ${E2E_VERDICT} wine ${WIN64}/driver.exe ${WIN64}/Harkwin.exe ${CMAKE_BINARY_DIR}/pictures)
add_test(NAME soak COMMAND ${SANDBOX} ${E2E_VERDICT} wine ${WIN64}/driver.exe ${WIN64}/Harkwin.exe - soak)
# The 32-bit exe needs a kernel that runs 32-bit programs: elsewhere a skip, with the reason.
set(IF_I386 ${CMAKE_SOURCE_DIR}/tools/runs_i386.sh)
add_test(NAME smoke_i686 COMMAND ${IF_I386} ${SANDBOX} ${E2E_VERDICT} wine ${WIN64}/driver.exe ${CMAKE_BINARY_DIR}/win-i686/Harkwin.exe - smoke)
set_tests_properties(smoke_i686 PROPERTIES SKIP_RETURN_CODE 77)
# Short storms of random events, each from a fresh seed that it prints (make storm runs a long
# one; STORM_SEED replays one). The 32-bit exe gets a shorter one where it can run.
add_test(NAME storm COMMAND ${SANDBOX} ${E2E_VERDICT} wine ${WIN64}/storm.exe ${WIN64}/Harkwin.exe)
add_test(NAME storm_i686 COMMAND ${IF_I386} ${SANDBOX} ${E2E_VERDICT} wine ${WIN64}/storm.exe ${CMAKE_BINARY_DIR}/win-i686/Harkwin.exe)
set_tests_properties(storm_i686 PROPERTIES ENVIRONMENT "STORM_EVENTS=30" SKIP_RETURN_CODE 77)
set_tests_properties(program end_to_end soak smoke_i686 storm storm_i686 PROPERTIES TIMEOUT 600)
# The version block is read from the exe that ships.
set_tests_properties(program PROPERTIES ENVIRONMENT HARKWIN_EXE=${WIN64}/Harkwin.exe)

# Fuzzing: bounded runs from the committed seeds (make fuzz runs them longer).
ExternalProject_Add(fuzzers
    SOURCE_DIR ${CMAKE_SOURCE_DIR}/fuzz
    BINARY_DIR ${CMAKE_BINARY_DIR}/fuzz
    CMAKE_ARGS -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug
    BUILD_ALWAYS ON
    INSTALL_COMMAND "")
set(FUZZ_SECONDS 20 CACHE STRING "How long each fuzzer runs in the test suite")
foreach(target registry fields)
    add_test(NAME fuzz_${target}
             COMMAND ${CMAKE_SOURCE_DIR}/fuzz/run.sh ${CMAKE_BINARY_DIR}/fuzz/${target}_fuzz
                     ${CMAKE_SOURCE_DIR}/fuzz/corpus/${target} ${FUZZ_SECONDS})
endforeach()

# The tools' own promises: the fresh-root run refuses outside its namespaces; set-up rides out
# an archive caught mid-sync, and Ctrl+C stops it at once; the 32-bit probe's verdict holds
# with /tmp noexec; a Wine layer passes on its program's own verdict; releases rebuild byte for byte.
add_test(NAME tools_refuse COMMAND ${CMAKE_SOURCE_DIR}/tests/tools/fresh_run_refuses.sh)
add_test(NAME tools_deps COMMAND ${CMAKE_SOURCE_DIR}/tests/tools/deps_apt.sh)
add_test(NAME tools_interrupt COMMAND ${CMAKE_SOURCE_DIR}/tests/tools/interrupt.sh)
add_test(NAME tools_i386 COMMAND ${CMAKE_SOURCE_DIR}/tests/tools/probe_i386.sh)
add_test(NAME tools_verdict COMMAND ${CMAKE_SOURCE_DIR}/tests/tools/verdict.sh)
add_test(NAME reproducible COMMAND ${CMAKE_SOURCE_DIR}/tests/tools/reproducible.sh)
set_tests_properties(reproducible PROPERTIES TIMEOUT 900)

foreach(check format tidy cppcheck floors)
    add_test(NAME lint_${check} COMMAND ${CMAKE_SOURCE_DIR}/tools/lint.sh ${check})
endforeach()
