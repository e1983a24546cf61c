# The profile window's files include one another without a circle, and the drawing classes (the
# trace graphs and the axis markers) include neither the window nor the device panel: they draw
# what the window hands them and ask nothing of the instrument.
#
# A file's component is its name without the extension (TraceList.h and TraceList.cpp are one);
# an include "profile/X.h" is an edge to the component X.
#
#   cmake -DSOURCES="file;..." -DDRAWING="Name;..." -DFORBIDDEN="folder/Header.h;..."
#         -P CheckProfileIncludes.cmake
cmake_policy(VERSION 3.16)
set(components)
set(faults)
foreach(source ${SOURCES})
    get_filename_component(component ${source} NAME_WE)
    list(APPEND components ${component})
    file(STRINGS ${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"]*\"")
    foreach(line ${includes})
        string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*$" "\\1" header "${line}")
        if(component IN_LIST DRAWING AND header IN_LIST FORBIDDEN)
            list(APPEND faults "${source}: a drawing class includes ${header}")
        endif()
        if(header MATCHES "^profile/([A-Za-z0-9_]+)\\.h$")
            set(target ${CMAKE_MATCH_1})
            if(NOT target STREQUAL component)
                list(APPEND edges_${component} ${target})
            endif()
        endif()
    endforeach()
endforeach()
list(REMOVE_DUPLICATES components)

foreach(start ${components})
    set(frontier ${edges_${start}})
    set(seen)
    while(frontier)
        list(POP_FRONT frontier node)
        if(node STREQUAL start)
            list(APPEND faults "${start} includes itself through the files it includes")
            break()
        endif()
        if(NOT node IN_LIST seen)
            list(APPEND seen ${node})
            list(APPEND frontier ${edges_${node}})
        endif()
    endwhile()
endforeach()

if(faults)
    foreach(line ${faults})
        message(NOTICE "${line}")
    endforeach()
    message(FATAL_ERROR "The profile window's includes run in a circle or up from a drawing class")
endif()
