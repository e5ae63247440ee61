cmake_minimum_required(VERSION 3.25)
# The include direction check against a small tree with one planted violation at a time: each one must
# fail the check and be named, and the tree without them must pass. So a check that a change made
# blind (matching by prefix, reading one include form, passing unknown folders) shows here.
# Run: cmake -DCHECK=<check_include_direction.cmake> -DWORK_DIR=<scratch folder> -P planted_violations.cmake

file(REMOVE_RECURSE "${WORK_DIR}")
# A tree that keeps the rules: one file per layer, each including what lies below it.
set(clean
    "base/clock.h|#pragma once\n#include <cstdint>\n"
    "link/usb_link.h|#include \"base/clock.h\"\n"
    "link/snmp/slip.cpp|#include \"link/usb_link.h\"\n#include \"slip.h\"\n"
    "link/snmp/slip.h|#pragma once\n"
    "channel/channel_table.h|#include \"link/snmp/slip.h\"\n"
    "canfw/bootload.h|#include \"channel/channel_table.h\"\n"
    "canfw/gui/fw_update_dialog.h|#include <QDialog>\n#include \"canfw/bootload.h\"\n#include \"ui_fw_update.h\"\n"
    "sim/virtual_crate.h|#include <nlohmann/json.hpp>\n"
    "virtual_bridge/virtual_bridge_driver.h|#include \"link/usb_link.h\"\n#include \"sim/virtual_crate.h\"\n"
    "app/gui/program.cpp|#include \"canfw/gui/fw_update_dialog.h\"\n#include \"virtual_bridge/virtual_bridge_driver.h\"\n")
# name | file | text
set(planted
    "the link reaching the virtual crate|link/bridge.cpp|#include \"sim/virtual_crate.h\"\n"
    "a layer including its own gui half|canfw/job.cpp|#include \"canfw/gui/fw_update_dialog.h\"\n"
    "an angle-bracket include upwards|channel/blocks.cpp|#include <canfw/bootload.h>\n"
    "an indented include upwards|base/settings.cpp|  #  include \"link/usb_link.h\"\n"
    "a .hpp file including upwards|base/ring.hpp|#include \"channel/channel_table.h\"\n"
    "a .c file including upwards|link/crc.c|#include \"channel/channel_table.h\"\n"
    "a relative path around the rule|link/frame.cpp|#include \"../sim/virtual_crate.h\"\n"
    "a folder without a rule|extras/helper.cpp|#include \"base/clock.h\"\n"
    "Qt outside a gui folder|channel/view.cpp|#include <QWidget>\n"
    "a form outside a gui folder|canfw/form.cpp|#include \"ui_fw_update.h\"\n"
    "the virtual crate including the program|sim/module.cpp|#include \"base/clock.h\"\n"
    "a tool reaching the virtual crate directly|tools/vzctl/calibrate.cpp|#include \"sim/virtual_crate.h\"\n")

function(write_files entries)
    foreach(entry IN LISTS entries)
        string(REPLACE "|" ";" parts "${entry}")
        list(GET parts 0 path)
        list(GET parts 1 text)
        string(REPLACE "\\n" "\n" text "${text}")
        file(WRITE "${WORK_DIR}/${path}" "${text}")
    endforeach()
endfunction()

function(run_check result output)
    execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${WORK_DIR} -DMIN_FILES=1 -P ${CHECK}
                    RESULT_VARIABLE r OUTPUT_VARIABLE out ERROR_VARIABLE err)
    set(${result} ${r} PARENT_SCOPE)
    set(${output} "${out}${err}" PARENT_SCOPE)
endfunction()

write_files("${clean}")
run_check(r out)
if(NOT r EQUAL 0)
    message(FATAL_ERROR "the clean tree fails the check:\n${out}")
endif()

set(missed "")
foreach(entry IN LISTS planted)
    string(REPLACE "|" ";" parts "${entry}")
    list(GET parts 0 what)
    list(GET parts 1 path)
    list(GET parts 2 text)
    write_files("${path}|${text}")
    run_check(r out)
    string(REPLACE "\n  " " " out "${out}")  # cmake wraps its messages
    string(FIND "${out}" "${path}" named)
    if(r EQUAL 0 OR named EQUAL -1)
        string(APPEND missed "  ${what} (${path}) was not caught:\n${out}\n")
    endif()
    file(REMOVE "${WORK_DIR}/${path}")
endforeach()
file(REMOVE_RECURSE "${WORK_DIR}")
if(missed)
    message(FATAL_ERROR "planted violations the check let through:\n${missed}")
endif()
list(LENGTH planted count)
message(STATUS "include direction check: all ${count} planted violations caught")
