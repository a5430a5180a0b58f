# The size check of the program as a card image holds it:
#
#   cmake -DPROGRAM=<file> -DSTRIP=<strip of its target> -DLIMIT=<bytes> -P program_size.cmake
#
# strips a copy of PROGRAM beside it (PROGRAM.stripped) and fails when that
# copy is over LIMIT bytes (see BENCHMARKS.md, Size per target).
foreach(variable PROGRAM STRIP LIMIT)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "program_size.cmake: -D${variable}=... is missing")
  endif()
endforeach()
set(stripped "${PROGRAM}.stripped")
execute_process(COMMAND "${STRIP}" -o "${stripped}" "${PROGRAM}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${STRIP} -o ${stripped} ${PROGRAM} failed: ${status}")
endif()
file(SIZE "${stripped}" size)
if(size GREATER LIMIT)
  math(EXPR over "${size} - ${LIMIT}")
  message(FATAL_ERROR "the stripped program is ${size} bytes, ${over} over its limit of "
    "${LIMIT} bytes (${PROGRAM})")
endif()
math(EXPR spare "${LIMIT} - ${size}")
message(STATUS "the stripped program is ${size} bytes, ${spare} under its limit of ${LIMIT} bytes")
