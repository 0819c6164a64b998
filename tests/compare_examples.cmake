# RUNNER: the emulator a cross build's programs run under (Wine, qemu), or nothing.
separate_arguments(runner UNIX_COMMAND "${RUNNER}")
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
execute_process(COMMAND ${runner} ${GENERATOR} ${WORK} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "make_examples failed")
endif()
file(GLOB made RELATIVE ${WORK} ${WORK}/*)
foreach(name ${made})
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK}/${name} ${SOURCE}/${name}
                  RESULT_VARIABLE differs)
  if(differs)
    message(FATAL_ERROR "examples/${name} differs from what make_examples writes")
  endif()
endforeach()

# With CONVERTER given, the picture shown in the README is still what quondel writes for the doll.
if(DEFINED CONVERTER)
  execute_process(COMMAND ${runner} ${CONVERTER} doll.cnf WORKING_DIRECTORY ${WORK} RESULT_VARIABLE result
                  ERROR_VARIABLE messages)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK}/doll.gif
                          ${SOURCE}/doll-picture.gif RESULT_VARIABLE differs)
  if(NOT result EQUAL 0 OR NOT messages STREQUAL "" OR differs)
    message(FATAL_ERROR "examples/doll-picture.gif differs from what quondel writes for doll.cnf")
  endif()
endif()

# Set 1, shown in the README too, straight from the archive (from the configuration in a build
# without archives).
if(DEFINED CONVERTER)
  set(doll doll.lzh)
  if(NOT ARCHIVES)
    set(doll doll.cnf)
  endif()
  execute_process(COMMAND ${runner} ${CONVERTER} -s 1 ${doll} WORKING_DIRECTORY ${WORK}
                  RESULT_VARIABLE result ERROR_VARIABLE messages)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK}/doll-1.gif
                          ${SOURCE}/doll-picture-1.gif RESULT_VARIABLE differs)
  if(NOT result EQUAL 0 OR NOT messages STREQUAL "" OR differs)
    message(FATAL_ERROR "examples/doll-picture-1.gif differs from what quondel writes for "
                        "set 1 of ${doll}")
  endif()
endif()
