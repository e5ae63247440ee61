cmake_minimum_required(VERSION 3.25)
# Dependencies point one way: base <- link <- channel <- configfile, dialogs, trace <- app/core <- the gui halves.
# Reads every include line of the program's sources and fails on one that reaches upwards, on a Qt
# header outside a gui/ folder, and on the virtual crate including anything of the program.
# Run: cmake -DSOURCE_DIR=<root> -P check_include_direction.cmake

# Folder (longest match first) -> the folders its files may include.
set(rules
    "base/|base/"
    "link/|base/ link/ sim/"
    "channel/|base/ link/ channel/"
    "configfile/gui/|base/ link/ channel/ configfile/ app/core/"
    "configfile/|base/ link/ channel/ configfile/"
    "dialogs/gui/|base/ link/ channel/ configfile/ dialogs/ app/core/"
    "dialogs/|base/ link/ channel/ dialogs/"
    "trace/gui/|base/ link/ channel/ trace/ app/core/"
    "trace/|base/ link/ channel/ trace/"
    "canfw/gui/|base/ link/ channel/ canfw/ app/core/"
    "canfw/|base/ link/ channel/ canfw/"
    "prg/|prg/"
    "ctrlfw/gui/|base/ link/ channel/ ctrlfw/ prg/ app/core/"
    "ctrlfw/|base/ link/ channel/ ctrlfw/ prg/"
    "app/core/|base/ link/ channel/ configfile/ canfw/ ctrlfw/ prg/ app/core/"
    "app/gui/|base/ link/ channel/ configfile/ dialogs/ trace/ canfw/ ctrlfw/ prg/ app/"
    "app/|base/ link/ channel/ configfile/ dialogs/ trace/ canfw/ ctrlfw/ prg/ app/"
    "tools/|base/ link/ channel/ configfile/ dialogs/ trace/ canfw/ ctrlfw/ prg/ app/core/ tools/ sim/"
    "sim/|sim/")

set(violations "")
set(checked 0)
foreach(rule IN LISTS rules)
    string(REPLACE "|" ";" parts "${rule}")
    list(GET parts 0 folder)
    list(GET parts 1 allowed)
    string(REPLACE " " ";" allowed "${allowed}")
    file(GLOB_RECURSE files RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/${folder}*.h" "${SOURCE_DIR}/${folder}*.cpp")
    foreach(f IN LISTS files)
        # A file is judged by the most specific rule: configfile/gui/ before configfile/.
        if(f IN_LIST judged)
            continue()
        endif()
        list(APPEND judged "${f}")
        math(EXPR checked "${checked} + 1")
        string(FIND "${f}" "/gui/" guiAt)
        file(STRINGS "${SOURCE_DIR}/${f}" includes REGEX "^#include")
        foreach(line IN LISTS includes)
            if(line MATCHES "^#include \"([^\"]+)\"")
                set(target "${CMAKE_MATCH_1}")
                if(target MATCHES "^ui_")  # forms generated from resources/*.ui, for the gui halves
                    if(guiAt EQUAL -1)
                        string(APPEND violations "${f}: ${target} (a form outside a gui/ folder)\n")
                    endif()
                    continue()
                endif()
                set(ok FALSE)
                foreach(prefix IN LISTS allowed)
                    string(FIND "${target}" "${prefix}" at)
                    if(at EQUAL 0)
                        set(ok TRUE)
                    endif()
                endforeach()
                if(NOT ok)
                    string(APPEND violations "${f}: ${target}\n")
                endif()
            elseif(line MATCHES "^#include <(Q[A-Za-z]*)" AND guiAt EQUAL -1)
                string(APPEND violations "${f}: <${CMAKE_MATCH_1}> (Qt outside a gui/ folder)\n")
            endif()
        endforeach()
    endforeach()
endforeach()

if(checked LESS 50)
    message(FATAL_ERROR "only ${checked} files found under ${SOURCE_DIR}: wrong SOURCE_DIR?")
endif()
if(violations)
    message(FATAL_ERROR "includes against the layer direction:\n${violations}")
endif()
message(STATUS "include direction: ${checked} files, all includes point down")
