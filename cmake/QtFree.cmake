# The libraries that must build and run without a display: the subsystems
# below the export flows, kit_core, the flows and the font export. The
# headless road and CI depend on that, so configuring fails when any of them
# links Qt, directly or through another library.
set(LF_QT_FREE_TARGETS lf_platform lf_bytearray lf_psd lf_geometry lf_kernels lf_rendergraph
                       lf_compositing lf_kit_core lf_flows lf_fontexport lf_updater_core)

# Appends to `out_var` the chain of libraries from `target` to a Qt library,
# or leaves it empty.
function(lf_find_qt_link target chain out_var)
    set(found "")
    foreach(property LINK_LIBRARIES INTERFACE_LINK_LIBRARIES)
        get_target_property(libraries ${target} ${property})
        if(NOT libraries)
            continue()
        endif()
        foreach(library ${libraries})
            # Static libraries list their private dependencies as $<LINK_ONLY:...>.
            string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" library "${library}")
            if(library MATCHES "(^|[/:]|-l)(lib)?Qt[0-9]*(::|Core|Gui|Widgets)")
                set(found "${chain} -> ${library}")
                break()
            endif()
            if(TARGET ${library} AND NOT "${library}" IN_LIST LF_QT_CHECKED)
                list(APPEND LF_QT_CHECKED ${library})
                lf_find_qt_link(${library} "${chain} -> ${library}" found)
                if(found)
                    break()
                endif()
            endif()
        endforeach()
        if(found)
            break()
        endif()
    endforeach()
    set(${out_var} "${found}" PARENT_SCOPE)
    set(LF_QT_CHECKED ${LF_QT_CHECKED} PARENT_SCOPE)
endfunction()

function(lf_check_qt_free)
    foreach(target ${LF_QT_FREE_TARGETS})
        if(NOT TARGET ${target})
            continue()
        endif()
        set(LF_QT_CHECKED "")
        lf_find_qt_link(${target} ${target} chain)
        if(chain)
            message(FATAL_ERROR "${target} must not link Qt, but links ${chain}")
        endif()
    endforeach()
endfunction()
