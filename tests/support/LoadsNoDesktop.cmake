# Fails when PROGRAM loads Qt Widgets, Qt D-Bus or xcb, directly or through a library it loads:
# sockets, timers and the store run below the window and must not pull in the desktop.
execute_process(COMMAND ldd "${PROGRAM}" OUTPUT_VARIABLE loaded RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "ldd could not read ${PROGRAM}")
endif()
string(REGEX MATCHALL "(libQt6Widgets|libQt6DBus|libxcb)[^ \t\n]*" found "${loaded}")
if(found)
  list(REMOVE_DUPLICATES found)
  message(FATAL_ERROR "${PROGRAM} loads ${found}")
endif()
message(STATUS "${PROGRAM} loads no desktop library")
