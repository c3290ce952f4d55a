# The installer's pictures, included by package.cmake: the welcome and finish pages' left
# bitmap and the header's, as 24-bit BMP files in ART, for 96, 144 and 192 DPI (tundrel.nsi picks
# the set for the screen). Each is the scene that the Linux build's tundrel-sim draws of world 7
# after 30 s, with the icon drawn from SVG over it; without that build (LINUX_BUILD), the icon on
# the night sky's blue, with a notice. Needs rsvg-convert (RSVG_CONVERT) and netpbm's programs.

foreach(tool pngtopam pamcomp ppmmake ppmtobmp)
  find_program(NETPBM_${tool} ${tool})
  if(NOT NETPBM_${tool})
    message(FATAL_ERROR "${tool} is needed for the installer's pictures (Debian package netpbm)")
  endif()
endforeach()

# run(<what> <execute_process arguments>...): fails the package with <what> when any command of
# the pipe fails.
function(run what)
  execute_process(${ARGN} RESULTS_VARIABLE results ERROR_VARIABLE errors)
  foreach(result ${results})
    if(NOT result STREQUAL "0")
      message(FATAL_ERROR "${what} failed (${results}): ${errors}")
    endif()
  endforeach()
endfunction()

# The scene comes from the Linux build's tundrel-sim, brought up to date first.
set(sim "")
if(EXISTS ${LINUX_BUILD}/CMakeCache.txt)
  run("building tundrel-sim in ${LINUX_BUILD}"
      COMMAND ${CMAKE_COMMAND} --build ${LINUX_BUILD} --target tundrel-sim OUTPUT_QUIET)
  set(sim ${LINUX_BUILD}/tools/tundrel-sim)
endif()
if(NOT EXISTS "${sim}")
  set(sim "")
  message(NOTICE "The installer shows the icon without the scene: there is no Linux build with "
                 "tundrel-sim at ${LINUX_BUILD} (TUNDREL_LINUX_BUILD)")
endif()

file(REMOVE_RECURSE ${ART})
file(MAKE_DIRECTORY ${ART}/work)
set(work ${ART}/work)

# picture(<file> <width> <height> <icon size> <icon x> <icon y>)
function(picture file width height icon_size icon_x icon_y)
  set(scene ${work}/scene.png)
  set(backdrop ${work}/backdrop.ppm)
  if(sim)
    run("tundrel-sim's ${width}x${height} scene"
        COMMAND ${sim} --png ${scene} --size ${width}x${height} --seed 7 --seconds 30 --no-clock
        OUTPUT_QUIET)
    run("reading the scene" COMMAND ${NETPBM_pngtopam} ${scene} OUTPUT_FILE ${backdrop})
  else()
    run("the backdrop" COMMAND ${NETPBM_ppmmake} rgb:0d/1b/3a ${width} ${height}
                       OUTPUT_FILE ${backdrop})
  endif()
  run("the ${icon_size}-pixel icon"
      COMMAND ${RSVG_CONVERT} -w ${icon_size} -h ${icon_size} ${SVG}
      COMMAND ${NETPBM_pngtopam} -alphapam OUTPUT_FILE ${work}/icon.pam)
  run("${file}"
      COMMAND ${NETPBM_pamcomp} -xoff=${icon_x} -yoff=${icon_y} ${work}/icon.pam ${backdrop}
      COMMAND ${NETPBM_ppmtobmp} -windows -bpp=24 OUTPUT_FILE ${ART}/${file})
endfunction()

# The wizard bitmap is 164x314 at 96 DPI with the icon at the top, over the sky; the header's is
# 150x57 with the icon at its right.
foreach(dpi 96 144 192)
  foreach(length wizard_width:164 wizard_height:314 header_width:150 header_height:57
                 wizard_icon:64 wizard_top:28 header_icon:48)
    string(REPLACE ":" ";" length ${length})
    list(GET length 0 name)
    list(GET length 1 pixels)
    math(EXPR ${name} "(${pixels} * ${dpi} + 48) / 96")
  endforeach()
  math(EXPR wizard_left "(${wizard_width} - ${wizard_icon}) / 2")
  math(EXPR header_top "(${header_height} - ${header_icon}) / 2")
  math(EXPR header_left "${header_width} - ${header_icon} - ${header_top}")
  picture(wizard-${dpi}.bmp ${wizard_width} ${wizard_height} ${wizard_icon} ${wizard_left}
          ${wizard_top})
  picture(header-${dpi}.bmp ${header_width} ${header_height} ${header_icon} ${header_left}
          ${header_top})
endforeach()
file(REMOVE_RECURSE ${work})
