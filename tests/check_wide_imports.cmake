cmake_minimum_required(VERSION 3.25)
# Fails if PROGRAM imports the narrow ("A") form of a Windows function, but
# for those the toolchain's runtime calls with no text of the program's: the
# program hands every text and path to Windows in UTF-16.
set(runtime_calls CreateEventA CreateSemaphoreA GetStartupInfoA OutputDebugStringA)
execute_process(COMMAND ${OBJDUMP} -p ${PROGRAM}
                OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "objdump failed on ${PROGRAM}")
endif()
# Import table lines: hint-name address, ordinal hint, name.
string(REGEX MATCHALL "\t[0-9a-f]+\t +[0-9]+ +[A-Za-z0-9_]*[a-z0-9]A\n" lines "${dump}")
foreach(line IN LISTS lines)
  string(REGEX REPLACE ".* ([A-Za-z0-9_]+)\n" "\\1" name "${line}")
  if(NOT name IN_LIST runtime_calls)
    message(SEND_ERROR "${PROGRAM} calls ${name}, the narrow form")
  endif()
endforeach()
