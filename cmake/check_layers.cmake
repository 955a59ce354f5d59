# Fails when a file under src/ includes a folder of its own layer or of a layer above
# it. Run by the build (see src/CMakeLists.txt) with:
#   -DSOURCE_DIR=<src> -DLAYERS=db:1,report:2,... -DSTAMP=<file to touch on success>
# A folder is the first path component, except under shell/, where each front end
# (shell/cli, shell/qt) is a folder of its own.
# Example: src/store/sql_value.cpp including "app/host.h" fails, since app (6) is above
# store (4); src/structure/x.cpp including "upgrade/upgrade_run.h" passes (7 below 8), and so
# does src/upgrade/x.cpp including "catalog/catalog_model.h" (5 below 7).

function(folder_of path out)
  string(REGEX MATCH "^shell/(cli|qt)/" front "${path}")
  if(front)
    string(REGEX REPLACE "/$" "" front "${front}")
    set(${out} "${front}" PARENT_SCOPE)
  else()
    string(REGEX MATCH "^[^/]+" first "${path}")
    set(${out} "${first}" PARENT_SCOPE)
  endif()
endfunction()

string(REPLACE "," ";" LAYERS "${LAYERS}")
foreach(entry IN LISTS LAYERS)
  string(REPLACE ":" ";" pair "${entry}")
  list(GET pair 0 name)
  list(GET pair 1 level)
  set(layer_${name} ${level})
endforeach()

file(GLOB_RECURSE files RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/*.h" "${SOURCE_DIR}/*.cpp")
set(violations "")
foreach(file IN LISTS files)
  folder_of("${file}" own)
  if(NOT DEFINED layer_${own})
    string(APPEND violations "\n  ${file}: folder '${own}' has no layer in src/CMakeLists.txt")
    continue()
  endif()
  file(STRINGS "${SOURCE_DIR}/${file}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"]+\"")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[^\"]*\"([^\"]+)\".*$" "\\1" header "${line}")
    folder_of("${header}" target)
    if(NOT DEFINED layer_${target} OR target STREQUAL own)
      continue()
    endif()
    if(NOT layer_${target} LESS layer_${own})
      string(APPEND violations
             "\n  ${file} (${own}, layer ${layer_${own}}) includes ${header} (${target}, layer ${layer_${target}})")
    endif()
  endforeach()
endforeach()

if(violations)
  message(FATAL_ERROR "Includes must go down the layers:${violations}")
endif()
file(TOUCH "${STAMP}")
