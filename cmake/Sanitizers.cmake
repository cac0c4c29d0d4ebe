# Sanitizer builds apply to every target, libraries included, so that an
# out-of-bounds read inside a library is caught from any test.
if(LF_SANITIZE AND LF_TSAN)
    message(FATAL_ERROR "LF_SANITIZE and LF_TSAN cannot be combined")
endif()
if(LF_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()
if(LF_TSAN)
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
endif()
# The fuzz targets are built in the sanitizer build, beside the tests: every
# target is also instrumented for libFuzzer's coverage, and only the fuzz
# targets link the fuzzer itself.
if(LF_FUZZ)
    if(NOT LF_SANITIZE OR NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "LF_FUZZ needs LF_SANITIZE and clang (libFuzzer)")
    endif()
    add_compile_options(-fsanitize=fuzzer-no-link)
endif()
