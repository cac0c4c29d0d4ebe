# lf_library(NAME SOURCES ... [DEPS ...])
#   One static library per folder under src/; headers are included as
#   "folder/Header.h" from the src root.
function(lf_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE lf_options)
    lf_register_library(${name})
endfunction()

# lf_test(NAME SOURCES ... DEPS ... [OWN_MAIN] [ENVIRONMENT VAR=VALUE ...]
#         [ENVIRONMENT_MODIFICATION VAR=OP:VALUE ...])
#   One GoogleTest executable per folder under tests/, each case a CTest test.
#   LF_TEST_DATA points at the shared documents beside the checkout.
#   OWN_MAIN: the sources define main() (to set up a toolkit first).
#   ENVIRONMENT: set for every case, so ctest alone runs them as intended.
#   ENVIRONMENT_MODIFICATION: changes to variables the runner sets (CTest's
#   property of that name), e.g. an option appended to ASAN_OPTIONS.
function(lf_test name)
    cmake_parse_arguments(ARG "OWN_MAIN" "" "SOURCES;DEPS;ENVIRONMENT;ENVIRONMENT_MODIFICATION"
                          ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    if(ARG_OWN_MAIN)
        set(main GTest::gtest)
    else()
        set(main GTest::gtest_main)
    endif()
    target_link_libraries(${name} PRIVATE ${ARG_DEPS} lf_test_support ${main} GTest::gmock lf_options)
    # Empty properties would shift the list of names and values.
    set(properties TIMEOUT 600)
    foreach(property ENVIRONMENT ENVIRONMENT_MODIFICATION)
        if(ARG_${property})
            string(REPLACE ";" "\\;" value "${ARG_${property}}")
            list(APPEND properties ${property} "${value}")
        endif()
    endforeach()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${properties})
endfunction()

# lf_bench(NAME SOURCES ... DEPS ...)
function(lf_bench name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_DEPS} benchmark::benchmark lf_options)
endfunction()

# The subsystem folders, lowest first. src/ and tests/ each hold one folder
# per subsystem; a folder joins the build once it exists.
set(LF_SUBSYSTEMS platform bytearray psd geometry kernels rendergraph compositing kit flows ui updater
                  fontexport debugger app)
function(lf_add_subsystem_folders)
    foreach(folder ${LF_SUBSYSTEMS})
        if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/CMakeLists.txt)
            add_subdirectory(${folder})
        endif()
    endforeach()
endfunction()
