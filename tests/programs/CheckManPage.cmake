# Renders a manual page with every warning of groff's on (as plain text,
# without overstriking), and fails on any warning or when a section that
# every page of diagraw has is missing.
# cmake -DGROFF=... -DPAGE=... -P CheckManPage.cmake
execute_process(COMMAND ${GROFF} -man -Tutf8 -ww -P-cbou ${PAGE}
  RESULT_VARIABLE status OUTPUT_VARIABLE text ERROR_VARIABLE warnings)
if(NOT status EQUAL 0 OR NOT warnings STREQUAL "")
  message(FATAL_ERROR "groff (${status}):\n${warnings}")
endif()
foreach(section NAME SYNOPSIS DESCRIPTION OPTIONS FILES "EXIT STATUS" DIAGNOSTICS EXAMPLES NOTES "SEE ALSO")
  if(NOT text MATCHES "\n${section}\n")
    message(FATAL_ERROR "no section ${section} in ${PAGE}")
  endif()
endforeach()
message(STATUS "${PAGE}: renders without warnings")
