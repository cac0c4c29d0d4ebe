# Warnings and floating-point rules for the project's own targets.
# Results must be the same on every machine: no contraction of a*b+c into
# fused multiply-adds and never -ffast-math.
add_library(lf_options INTERFACE)
target_compile_options(lf_options INTERFACE
    -Wall -Wextra -Wno-unused-parameter
    -ffp-contract=off -fno-fast-math)
target_compile_features(lf_options INTERFACE cxx_std_20)
# A unity build includes sources into one another, and gcc then takes a test
# fixture in an anonymous namespace for one declared in a header.
if(CMAKE_UNITY_BUILD AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(lf_options INTERFACE -Wno-subobject-linkage)
endif()
