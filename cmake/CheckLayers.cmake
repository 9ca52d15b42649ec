cmake_minimum_required(VERSION 3.20)
# Fails when a source file under src/ breaks the layering:
#  - a quoted include does not name its folder from src/ ("talks/TalkCore.h");
#  - a file outside the ui/ folders includes a Qt Widgets header;
#  - a file outside the ui/ folders and documents/ includes a Qt Gui header;
#  - a file includes a header of a library that is not below its own;
# and when the headless peer links Qt Widgets or Qt Gui.
#   cmake -DSOURCE_DIR=... -DWIDGETS_INCLUDE_DIR=... -DGUI_INCLUDE_DIR=... -DCLI_BINARY=... -P CheckLayers.cmake
#
# The libraries, lowest first. A rule library may include those before it in its list; documents/ may
# include features, settings and protocol; a window library may include every rule library,
# documents, and the window libraries before it.
set(rule_libraries protocol settings crypto features net peers talks transfer app cli)
set(window_libraries features_ui net_ui peers_ui transfer_ui talks_ui app_ui)
set(allowed_documents protocol settings features)

set(below "")
foreach(lib ${rule_libraries})
    set(allowed_${lib} ${below})
    list(APPEND below ${lib})
endforeach()
list(APPEND below documents)
foreach(lib ${window_libraries})
    set(allowed_${lib} ${below})
    list(APPEND below ${lib})
endforeach()

# The library of a path relative to src/: "talks/ui/X.h" -> talks_ui, "talks/X.h" -> talks.
function(library_of path out)
    if(path MATCHES "^([a-z]+)/ui/")
        set(${out} "${CMAKE_MATCH_1}_ui" PARENT_SCOPE)
    elseif(path MATCHES "^([a-z]+)/")
        set(${out} "${CMAKE_MATCH_1}" PARENT_SCOPE)
    else()
        set(${out} "" PARENT_SCOPE)
    endif()
endfunction()

set(faults "")
file(GLOB_RECURSE files RELATIVE ${SOURCE_DIR}/src ${SOURCE_DIR}/src/*.h ${SOURCE_DIR}/src/*.cpp)
foreach(file ${files})
    library_of(${file} lib)
    if(NOT lib OR NOT (lib STREQUAL "documents" OR lib IN_LIST rule_libraries OR lib IN_LIST window_libraries))
        list(APPEND faults "src/${file}: lies in no library folder")
        continue()
    endif()
    set(window_file OFF)
    if(lib MATCHES "_ui$")
        set(window_file ON)
    endif()
    file(STRINGS ${SOURCE_DIR}/src/${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
    foreach(line ${includes})
        string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*([<\"])([^>\"]+)[>\"].*" "\\1;\\2" parsed "${line}")
        list(GET parsed 0 quote)
        list(GET parsed 1 name)
        if(quote STREQUAL "\"")
            if(NOT EXISTS ${SOURCE_DIR}/src/${name})
                list(APPEND faults "src/${file}: \"${name}\" does not name its folder from src/")
                continue()
            endif()
            library_of(${name} target)
            if(NOT target STREQUAL lib AND NOT target IN_LIST allowed_${lib})
                list(APPEND faults "src/${file}: ${name} belongs to ${target}, which ${lib} may not use")
            endif()
            continue()
        endif()
        if(NOT window_file AND (name MATCHES "^QtWidgets/" OR EXISTS ${WIDGETS_INCLUDE_DIR}/${name}))
            list(APPEND faults "src/${file}: ${name} is a Qt Widgets header outside the ui/ folders")
        elseif(NOT window_file AND NOT lib STREQUAL "documents"
               AND (name MATCHES "^QtGui/" OR EXISTS ${GUI_INCLUDE_DIR}/${name}))
            list(APPEND faults "src/${file}: ${name} is a Qt Gui header in a rule library")
        endif()
    endforeach()
endforeach()

if(CLI_BINARY)
    execute_process(COMMAND ldd ${CLI_BINARY} OUTPUT_VARIABLE linked RESULT_VARIABLE lddResult)
    if(NOT lddResult EQUAL 0)
        list(APPEND faults "ldd could not read ${CLI_BINARY}")
    elseif(linked MATCHES "libQt6Widgets")
        list(APPEND faults "${CLI_BINARY} links Qt Widgets")
    elseif(linked MATCHES "libQt6Gui")
        list(APPEND faults "${CLI_BINARY} links Qt Gui")
    endif()
endif()

if(faults)
    list(JOIN faults "\n" text)
    message(FATAL_ERROR "Layer rules broken:\n${text}")
endif()
message(STATUS "Layer rules hold")
