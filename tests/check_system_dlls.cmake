cmake_minimum_required(VERSION 3.25)
# Fails unless every program in PROGRAMS (a list) imports only system DLLs,
# and unless NARROW_FREE, one of them, imports the narrow ("A") form of no
# Windows function but those the toolchain's runtime calls with no text of
# the program's: it hands every text and path to Windows in UTF-16.
set(runtime_narrow_calls CreateEventA CreateSemaphoreA GetStartupInfoA OutputDebugStringA)
set(system_dlls
  advapi32.dll comctl32.dll comdlg32.dll gdi32.dll kernel32.dll msvcrt.dll
  ole32.dll oleaut32.dll shell32.dll user32.dll uxtheme.dll version.dll
  ws2_32.dll bcrypt.dll)
foreach(program IN LISTS PROGRAMS)
  execute_process(COMMAND ${OBJDUMP} -p ${program}
                  OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "objdump failed on ${program}")
  endif()
  string(REGEX MATCHALL "DLL Name: [^\r\n]+" imports "${dump}")
  if(NOT imports)
    message(FATAL_ERROR "${program}: no imports found")
  endif()
  foreach(line IN LISTS imports)
    string(REPLACE "DLL Name: " "" dll "${line}")
    string(TOLOWER "${dll}" dll)
    if(NOT dll IN_LIST system_dlls)
      message(FATAL_ERROR "${program} needs ${dll}, which Windows does not ship")
    endif()
    message(STATUS "${program}: ${dll}")
  endforeach()
  if(program STREQUAL NARROW_FREE)
    # Import table lines: hint-name address, ordinal hint, name.
    string(REGEX MATCHALL "\t[0-9a-f]+\t +[0-9]+ +[A-Za-z0-9_]*[a-z0-9]A\n" narrow "${dump}")
    foreach(line IN LISTS narrow)
      string(REGEX REPLACE ".* ([A-Za-z0-9_]+)\n" "\\1" name "${line}")
      if(NOT name IN_LIST runtime_narrow_calls)
        message(SEND_ERROR "${program} calls ${name}, the narrow form")
      endif()
    endforeach()
  endif()
endforeach()
