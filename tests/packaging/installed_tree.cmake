# Installs the build tree into a fresh prefix, moves the prefix elsewhere and checks that it
# still works there as a whole: the program runs without LD_LIBRARY_PATH and finds the
# library that came with it, pkg-config reports the moved folders, and the manual page and
# bash completion are in place.
#   cmake -DBUILD_DIR=... -DWORK_DIR=... -DVERSION=x.y.z -P installed_tree.cmake

cmake_policy(VERSION 3.25)

# Fails the test with `message` unless the condition, given as if() arguments, holds.
function(check)
    list(POP_BACK ARGN message)
    if(NOT (${ARGN}))
        message(FATAL_ERROR "${message}")
    endif()
endfunction()

# Runs a command with no LD_LIBRARY_PATH; fails unless it succeeds.
function(run out)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH ${ARGN}
                    OUTPUT_VARIABLE text ERROR_VARIABLE errors RESULT_VARIABLE status)
    list(JOIN ARGN " " command)
    check(status EQUAL 0 "'${command}' failed (${status}): ${errors}")
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
run(ignored ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${WORK_DIR}/installed)
file(RENAME ${WORK_DIR}/installed ${WORK_DIR}/moved)
set(prefix ${WORK_DIR}/moved)
file(GLOB program ${prefix}/bin/qmsupport)
file(GLOB pc_file ${prefix}/*/pkgconfig/qmsupport.pc ${prefix}/*/*/pkgconfig/qmsupport.pc)
check(program "no program in ${prefix}/bin")
check(pc_file "no qmsupport.pc below ${prefix}")

run(version ${program} --version)
check(version STREQUAL "qmsupport ${VERSION}\n" "--version printed '${version}'")
run(libraries ldd ${program})
string(REGEX MATCH "libqmsupport[^\n]*=> ([^ ]*)" found "${libraries}")
check(CMAKE_MATCH_1 MATCHES "^${prefix}/" "the moved program loads '${found}'")

get_filename_component(pc_dir ${pc_file} DIRECTORY)
foreach(variable libdir includedir)
    run(${variable} ${CMAKE_COMMAND} -E env PKG_CONFIG_PATH=${pc_dir}
        pkg-config --variable=${variable} qmsupport)
    string(STRIP "${${variable}}" ${variable})
endforeach()
file(GLOB library ${libdir}/libqmsupport.so)
check(library "pkg-config's libdir '${libdir}' holds no libqmsupport.so")
check(EXISTS "${includedir}/qmsupport/qmsupport.h"
      "pkg-config's includedir '${includedir}' holds no qmsupport/qmsupport.h")

file(GLOB man_page ${prefix}/share/man/man1/qmsupport.1)
check(man_page "no manual page")
file(READ ${man_page} page)
foreach(part "qmsupport ${VERSION}" ".SS drivers" ".SS migrate27" "--drivers-setup")
    string(FIND "${page}" "${part}" at)
    check(NOT at EQUAL -1 "the manual page lacks '${part}'")
endforeach()

set(completion ${prefix}/share/bash-completion/completions/qmsupport)
foreach(case "migrate2|migrate25 migrate27" "up|upgrade" "help re|render-text" "drivers --drivers-s|--drivers-setup")
    string(REPLACE "|" ";" case "${case}")
    list(GET case 0 words)
    list(GET case 1 expected)
    run(reply bash -c "source '${completion}' && COMP_WORDS=('${program}' ${words}) && COMP_CWORD=\${#COMP_WORDS[@]}-1 && _qmsupport && echo \"\${COMPREPLY[*]}\"")
    check(reply STREQUAL "${expected}\n" "completing '${words}' gave '${reply}'")
endforeach()

file(REMOVE_RECURSE ${WORK_DIR})
