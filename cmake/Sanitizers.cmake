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
# Fuzz builds instrument every library for libFuzzer's coverage and check
# memory and undefined behaviour; only the fuzz targets link the fuzzer.
if(LF_FUZZ)
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()
