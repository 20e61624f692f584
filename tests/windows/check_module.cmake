# Reads Stampel.dll's headers with objdump and fails unless the module is i386
# code, exports exactly _AvisynthPluginInit2@4 and imports only KERNEL32.dll
# and msvcrt.dll.
foreach(var OBJDUMP MODULE)
  if(NOT ${var})
    message(FATAL_ERROR "check_module: ${var} not given")
  endif()
endforeach()

execute_process(COMMAND ${OBJDUMP} -f ${MODULE} OUTPUT_VARIABLE file_header RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "check_module: ${OBJDUMP} -f failed on ${MODULE}")
endif()
execute_process(COMMAND ${OBJDUMP} -p ${MODULE} OUTPUT_VARIABLE headers RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "check_module: ${OBJDUMP} -p failed on ${MODULE}")
endif()

set(failed FALSE)

string(REGEX MATCH "architecture: ([^,\n]+)" _ "${file_header}")
set(arch "${CMAKE_MATCH_1}")
string(REGEX MATCH "file format ([^\n]+)" _ "${file_header}")
set(format "${CMAKE_MATCH_1}")
if(arch STREQUAL "i386" AND format STREQUAL "pei-i386")
  message(STATUS "ok   machine type i386 (${format})")
else()
  message(STATUS "FAIL machine type: architecture '${arch}', format '${format}'")
  set(failed TRUE)
endif()

# The export names follow the "[Ordinal/Name Pointer] Table" heading.
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n(([ \t]+\\[[ 0-9]+\\] [^\n]+\n)*)" _
  "${headers}")
string(REGEX MATCHALL "\\] [^\n]+" exports "${CMAKE_MATCH_1}")
list(TRANSFORM exports REPLACE "^\\] " "")
if(exports STREQUAL "_AvisynthPluginInit2@4")
  message(STATUS "ok   exports exactly _AvisynthPluginInit2@4")
else()
  message(STATUS "FAIL exports: '${exports}'")
  set(failed TRUE)
endif()

string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${headers}")
list(TRANSFORM imports REPLACE "^DLL Name: " "")
list(SORT imports CASE INSENSITIVE)
if(imports STREQUAL "KERNEL32.dll;msvcrt.dll")
  message(STATUS "ok   imports only KERNEL32.dll and msvcrt.dll")
else()
  message(STATUS "FAIL imports: '${imports}'")
  set(failed TRUE)
endif()

if(failed)
  message(FATAL_ERROR "check_module: ${MODULE} is not the module a host expects")
endif()
