# The header check: one translation unit per header under src/, holding
# nothing but the header's own include, so that a header which uses what it
# does not include fails to build here even where every file that includes
# it happens to include that first (and where unity batches hide it). The
# units are compiled, never linked, with the include paths and definitions
# of every library of the project.
option(LF_CHECK_HEADERS "Compile each header under src/ on its own" ON)

# Called by lf_library: the libraries whose headers the check may include.
function(lf_register_library name)
    set_property(GLOBAL APPEND PROPERTY LF_LIBRARIES ${name})
endfunction()

function(lf_add_header_check)
    if(NOT LF_CHECK_HEADERS)
        return()
    endif()
    set(source_root ${PROJECT_SOURCE_DIR}/src)
    file(GLOB_RECURSE headers RELATIVE ${source_root} CONFIGURE_DEPENDS ${source_root}/*.h)
    set(units "")
    foreach(header ${headers})
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
