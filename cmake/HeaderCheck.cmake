# The header check: headers under src/ compiled on their own, each as a
# translation unit that holds nothing but its include, so that a header
# which uses what it does not include fails to build even where every file
# that includes it happens to include that first. The units are compiled,
# never linked, with the include paths and definitions of every library of
# the project.
#
# A build without unity batches already compiles most headers so: a source
# file includes its own header first. There the check takes only the
# others (headers without a source file, and those whose source file
# includes something else first); in a unity build, which hides what one
# file leaves out behind another, it takes every header.
option(LF_CHECK_HEADERS "Compile each header under src/ on its own" ON)

# Called by lf_library: the libraries whose headers the check may include.
function(lf_register_library name)
    set_property(GLOBAL APPEND PROPERTY LF_LIBRARIES ${name})
endfunction()

# Whether the source file beside `header` (a path below src/) includes it
# first, so that compiling that file checks the header.
function(lf_header_is_checked_by_its_source header out_var)
    get_filename_component(folder ${header} DIRECTORY)
    get_filename_component(name ${header} NAME_WE)
    set(source ${PROJECT_SOURCE_DIR}/src/${folder}/${name}.cpp)
    set(checked FALSE)
    if(EXISTS ${source})
        file(STRINGS ${source} first REGEX "^#include " LIMIT_COUNT 1)
        if(first MATCHES "^#include \"(${header}|${name}\\.h)\"")
            set(checked TRUE)
        endif()
    endif()
    set(${out_var} ${checked} PARENT_SCOPE)
endfunction()

function(lf_add_header_check)
    if(NOT LF_CHECK_HEADERS)
        return()
    endif()
    set(source_root ${PROJECT_SOURCE_DIR}/src)
    file(GLOB_RECURSE headers RELATIVE ${source_root} CONFIGURE_DEPENDS ${source_root}/*.h)
    set(units "")
    foreach(header ${headers})
        if(NOT CMAKE_UNITY_BUILD)
            lf_header_is_checked_by_its_source(${header} checked)
            if(checked)
                continue()
            endif()
        endif()
        set(unit ${CMAKE_BINARY_DIR}/header_check/${header}.cpp)
        file(CONFIGURE OUTPUT ${unit} CONTENT "#include \"${header}\"\n")
        list(APPEND units ${unit})
    endforeach()
    add_library(lf_header_check OBJECT ${units})
    # Batched, the units would include one another's headers.
    set_target_properties(lf_header_check PROPERTIES UNITY_BUILD OFF)
    get_property(libraries GLOBAL PROPERTY LF_LIBRARIES)
    target_link_libraries(lf_header_check PRIVATE ${libraries} lf_options)
endfunction()
