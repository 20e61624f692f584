# Runs cpack on the build and checks the archive it makes: one zip, NAME.zip,
# whose folder NAME holds exactly Stampel.dll (the built one) and
# README-windows.txt.
set(out ${BINARY_DIR}/package-check)
file(REMOVE_RECURSE ${out})
execute_process(COMMAND ${CPACK} --config ${BINARY_DIR}/CPackConfig.cmake -B ${out}
  RESULT_VARIABLE rc OUTPUT_VARIABLE log ERROR_VARIABLE log)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "check_package: cpack failed:\n${log}")
endif()

file(GLOB zips ${out}/*.zip)
if(NOT zips STREQUAL "${out}/${NAME}.zip")
  message(FATAL_ERROR "check_package: expected ${NAME}.zip, cpack made '${zips}'")
endif()

file(MAKE_DIRECTORY ${out}/unpacked)
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${out}/${NAME}.zip
  WORKING_DIRECTORY ${out}/unpacked RESULT_VARIABLE rc)
file(GLOB_RECURSE files RELATIVE ${out}/unpacked ${out}/unpacked/*)
list(SORT files)
if(NOT rc EQUAL 0 OR NOT files STREQUAL "${NAME}/README-windows.txt;${NAME}/Stampel.dll")
  message(FATAL_ERROR "check_package: ${NAME}.zip holds '${files}'")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${MODULE}
  ${out}/unpacked/${NAME}/Stampel.dll RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "check_package: the archive's Stampel.dll is not the built one")
endif()
file(READ ${out}/unpacked/${NAME}/README-windows.txt text)
foreach(line "LoadPlugin(" "Stampel(clip)" "Stampel(clip, offset=100)" "Stampel(clip, left=1)")
  string(FIND "${text}" "${line}" at)
  if(at LESS 0)
    message(FATAL_ERROR "check_package: README-windows.txt lacks ${line}")
  endif()
endforeach()
message(STATUS "ok   ${NAME}.zip holds Stampel.dll and README-windows.txt")
