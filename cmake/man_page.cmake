# Writes the manual page of the qmsupport program from its own help texts, so that the page
# says what the program says: the command list, then each command's help.
#   cmake -DPROGRAM=path/to/qmsupport -DVERSION=x.y.z -DOUTPUT=qmsupport.1 -P man_page.cmake

cmake_policy(VERSION 3.25)

function(run_help out)
    execute_process(COMMAND ${PROGRAM} ${ARGN} OUTPUT_VARIABLE text RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "'qmsupport ${ARGN}' failed: ${status}")
    endif()
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

# The text as a roff block printed as it stands.
function(roff_block out text)
    string(REPLACE "\\" "\\e" text "${text}")
    string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
    set(${out} ".nf\n${text}.fi\n" PARENT_SCOPE)
endfunction()

run_help(overview --help)
roff_block(page "${overview}")
set(page ".TH QMSUPPORT 1 \"\" \"qmsupport ${VERSION}\" \"User Commands\"
.SH NAME
qmsupport \\- migrate and inspect installations of the energy-monitoring and SCADA suite
.SH SYNOPSIS
.B qmsupport
.I COMMAND
.RI [ ARGS ...]
.SH DESCRIPTION
${page}.SH COMMANDS
")

string(REGEX MATCHALL "\n  [a-z0-9-]+ " entries "${overview}")
foreach(entry IN LISTS entries)
    string(STRIP "${entry}" command)
    if(NOT command STREQUAL "help")
        run_help(help help ${command})
        roff_block(block "${help}")
        string(APPEND page ".SS ${command}\n${block}")
    endif()
endforeach()

file(WRITE ${OUTPUT} "${page}")
