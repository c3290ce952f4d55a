# Makes the Windows downloads of one build; run with `cmake -P` by its package target, which
# passes VERSION, BITS, SAVER, OTHER_BUILD, DOCS, STAGE, OUT, STRIP, MAKENSIS and NSI, and for
# the installer's icon and pictures ICON, SVG, RSVG_CONVERT and LINUX_BUILD.
cmake_minimum_required(VERSION 3.16)

# The machine field of a program's PE header: 014c for i386, 8664 for x86-64. A saver of the
# wrong kind (a build variable pointing at the wrong tree) is refused, not packed.
function(check_machine program bits)
  file(READ ${program} header LIMIT 4096 HEX)
  string(SUBSTRING "${header}" 120 8 lfanew)  # offset 60, four bytes, little-endian
  string(REGEX REPLACE "(..)(..)(..)(..)" "\\4\\3\\2\\1" lfanew "${lfanew}")
  math(EXPR at "(0x${lfanew} + 4) * 2")
  string(SUBSTRING "${header}" ${at} 4 machine)
  string(REGEX REPLACE "(..)(..)" "\\2\\1" machine "${machine}")
  if(bits EQUAL 32)
    set(expected 014c)
  else()
    set(expected 8664)
  endif()
  if(NOT machine STREQUAL expected)
    message(FATAL_ERROR "${program} is not a ${bits}-bit Windows program (machine ${machine})")
  endif()
endfunction()

# A stripped copy of a saver in STAGE/win<bits>, by the strip of its own toolchain (one for i686
# does not read x86-64 programs): the debug information stays in the build.
function(stage_saver program bits strip)
  check_machine(${program} ${bits})
  set(dir ${STAGE}/win${bits})
  file(REMOVE_RECURSE ${dir})
  file(MAKE_DIRECTORY ${dir})
  file(COPY ${program} DESTINATION ${dir})
  get_filename_component(name ${program} NAME)
  if(NOT name STREQUAL "tundrel.scr")
    file(RENAME ${dir}/${name} ${dir}/tundrel.scr)
  endif()
  execute_process(COMMAND ${strip} ${dir}/tundrel.scr RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "${strip} failed on ${dir}/tundrel.scr")
  endif()
endfunction()

stage_saver(${SAVER} ${BITS} ${STRIP})
set(zip ${OUT}/tundrel-${VERSION}-win${BITS}.zip)
file(COPY ${DOCS}/README.txt ${DOCS}/LICENSE.txt DESTINATION ${STAGE}/win${BITS})
file(REMOVE ${zip})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${zip} --format=zip
                        tundrel.scr README.txt LICENSE.txt
                WORKING_DIRECTORY ${STAGE}/win${BITS} RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${zip} could not be made")
endif()
message(STATUS "Made ${zip}")

if(BITS EQUAL 32)
  set(other_bits 64)
else()
  set(other_bits 32)
endif()
if(NOT IS_DIRECTORY "${OTHER_BUILD}")
  message(NOTICE "No installer: it holds both builds, and there is no ${other_bits}-bit build at "
                 "${OTHER_BUILD} (TUNDREL_WIN${other_bits}_BUILD)")
  return()
endif()
# The other build's saver is brought up to date first, so the installer never holds a stale one,
# and stripped by the strip of that build's toolchain. Its make must not take this one's job
# server, which it cannot reach.
if(NOT EXISTS ${OTHER_BUILD}/CMakeCache.txt)
  message(FATAL_ERROR "${OTHER_BUILD} (TUNDREL_WIN${other_bits}_BUILD) is no configured build")
endif()
unset(ENV{MAKEFLAGS})
unset(ENV{MAKELEVEL})
unset(ENV{MFLAGS})
execute_process(COMMAND ${CMAKE_COMMAND} --build ${OTHER_BUILD} --target tundrel
                RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "the saver of ${OTHER_BUILD} could not be built")
endif()
file(STRINGS ${OTHER_BUILD}/CMakeCache.txt other_strip REGEX "^CMAKE_STRIP:")
string(REGEX REPLACE "^[^=]*=" "" other_strip "${other_strip}")
if(NOT other_strip)
  message(FATAL_ERROR "${OTHER_BUILD} (TUNDREL_WIN${other_bits}_BUILD) names no strip program")
endif()
stage_saver(${OTHER_BUILD}/src/shell/tundrel.scr ${other_bits} ${other_strip})

if(NOT MAKENSIS)
  message(FATAL_ERROR "makensis is needed for the installer (Debian package nsis)")
endif()
set(ART ${STAGE}/art)
include(${CMAKE_CURRENT_LIST_DIR}/artwork.cmake)
set(setup ${OUT}/tundrel-${VERSION}-setup.exe)
file(REMOVE ${setup})
execute_process(COMMAND ${MAKENSIS} -V2 -DVERSION=${VERSION} -DOUTFILE=${setup}
                        -DSCR32=${STAGE}/win32/tundrel.scr -DSCR64=${STAGE}/win64/tundrel.scr
                        -DREADME=${DOCS}/README.txt -DLICENSE=${DOCS}/LICENSE.txt
                        -DICON=${ICON} -DART=${ART} ${NSI}
                RESULT_VARIABLE failed)
if(failed OR NOT EXISTS ${setup})
  message(FATAL_ERROR "makensis could not make ${setup}")
endif()
message(STATUS "Made ${setup}")
