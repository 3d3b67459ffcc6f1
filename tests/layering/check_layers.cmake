# The layering check: reads every #include "folder/..." line of the source
# folders under ROOT and fails when a folder includes one above its layer.
#   cmake -DROOT=<source folder> -P check_layers.cmake
#
# Layers, bottom first (the same table is in docs/ARCHITECTURE.md):
#   platform                              nothing but itself
#   controls, compress, imaging, ipc,     platform
#   cards (app/cardrecord.*, app/carddatabase.*)
#   telephony, mail, media, capture       the layers above plus controls,
#                                         compress, imaging, ipc
#   app                                   everything
#   tools                                 every library, cards included,
#                                         but not the main window
# Nothing of the product includes tests/, bench/ or fuzz/.

if(NOT ROOT)
  message(FATAL_ERROR "usage: cmake -DROOT=<source folder> -P check_layers.cmake")
endif()

set(base platform)
set(cores controls compress imaging ipc cards)
set(allowed_platform platform)
foreach(core IN LISTS cores)
  set(allowed_${core} ${core} ${base})
endforeach()
foreach(subsystem telephony mail media capture)
  set(allowed_${subsystem} ${subsystem} ${base} ${cores})
endforeach()
set(allowed_app app ${base} ${cores} telephony mail media capture)
set(allowed_tools tools ${base} ${cores} telephony mail media capture)
set(layers platform ${cores} telephony mail media capture app tools)
set(checked_targets ${layers} tests bench fuzz)

# The layer of a path such as "app/carddatabase.h": its folder, except the
# card core, which sits in app/ but below the window, and the capture
# widgets of imaging/ (the capture control, the handset display, the options
# window's driver steps, the time-lapse timers), which sit with the subsystems.
function(layer_of path out)
  if(path MATCHES "^app/card(record|database)\\.(h|cpp)$")
    set(${out} cards PARENT_SCOPE)
  elseif(path MATCHES "^imaging/(videocap|phonedisplay|driverchoice|timelapsetimers)\\.(h|cpp)$")
    set(${out} capture PARENT_SCOPE)
  else()
    string(REGEX REPLACE "/.*" "" folder "${path}")
    set(${out} ${folder} PARENT_SCOPE)
  endif()
endfunction()

set(globs)
foreach(folder platform controls compress imaging ipc telephony mail media app tools)
  list(APPEND globs ${ROOT}/${folder}/*.h ${ROOT}/${folder}/*.cpp)
endforeach()
file(GLOB_RECURSE files RELATIVE ${ROOT} ${globs})

set(violations 0)
foreach(file IN LISTS files)
  layer_of("${file}" from)
  file(STRINGS ${ROOT}/${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[A-Za-z_]+/")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*" "\\1" target "${line}")
    layer_of("${target}" to)
    list(FIND checked_targets ${to} known)
    if(known LESS 0)
      continue()
    endif()
    list(FIND allowed_${from} ${to} ok)
    if(ok LESS 0)
      message("${file}: layer ${from} may not include ${target} (layer ${to})")
      math(EXPR violations "${violations} + 1")
    endif()
  endforeach()
endforeach()

list(LENGTH files count)
if(violations GREATER 0)
  message(FATAL_ERROR "${violations} include(s) reach above their layer")
endif()
message("layering: ${count} files, every include within its layer")
