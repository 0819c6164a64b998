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

# With CONVERTER given, the pictures shown in the README are still what quondel writes: the
# doll, its animation, and set 1 straight from the archive (from the configuration in a build without archives).
function(check_picture picture made)
  execute_process(COMMAND ${runner} ${CONVERTER} ${ARGN} WORKING_DIRECTORY ${WORK}
                  RESULT_VARIABLE result ERROR_VARIABLE messages)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK}/${made} ${SOURCE}/${picture}
                  RESULT_VARIABLE differs)
  if(NOT result EQUAL 0 OR NOT messages STREQUAL "" OR differs)
    string(JOIN " " run ${ARGN})
    message(FATAL_ERROR "examples/${picture} differs from what quondel writes for ${run}")
  endif()
endfunction()
if(DEFINED CONVERTER)
  check_picture(doll-picture.gif doll.gif doll.cnf)
  set(doll doll.lzh)
  if(NOT ARCHIVES)
    set(doll doll.cnf)
  endif()
  check_picture(doll-picture-1.gif doll-1.gif -s 1 ${doll})
  # The blink: one period of the doll's own life.
  check_picture(doll-animation.gif doll.gif -a doll.cnf)
endif()
