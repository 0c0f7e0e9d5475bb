# Prints a log file and fails when it is not empty (Doxygen's warnings go to
# a file, and its exit status alone does not show them).
if(EXISTS ${LOG})
  file(READ ${LOG} text)
  if(NOT text STREQUAL "")
    message(FATAL_ERROR "${text}")
  endif()
endif()
