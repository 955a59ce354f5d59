# The window's screenshot mode from start to end as scripts/window-screenshot runs it, in a
# program folder without Defs.ini: the load's error box must be drawn, not waited on, so
# the program ends by itself with its picture written.
# Arguments: -DPROGRAM=path/to/sqlupgrade -DWORK=scratch folder
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/home")
set(ENV{QT_QPA_PLATFORM} offscreen)
execute_process(
  COMMAND "${PROGRAM}" --home "${WORK}/home" --screenshot "${WORK}/window.png"
  TIMEOUT 30
  RESULT_VARIABLE result
  ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the screenshot run ended with '${result}': ${errors}")
endif()
if(NOT EXISTS "${WORK}/window.png")
  message(FATAL_ERROR "no picture was written")
endif()
file(REMOVE_RECURSE "${WORK}")
