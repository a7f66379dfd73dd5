# tolvane-exec.exe runs a script through UDFTolvane.dll, as a server would
# call it (--module), and through the engine linked into it. Run by CTest
# with -D WINE_RUN PREFIX WORK EXEC MODULE FAKE DRIVER.
function(run_exec folder expected_exit expected_output)
  execute_process(
    COMMAND ${WINE_RUN} --prefix ${PREFIX} --no-d-drive ${folder}/tolvane-exec.exe
            ${ARGN} --database C:\\data\\work.fdb ${WORK}/script.sql
    RESULT_VARIABLE exit_code OUTPUT_VARIABLE output ERROR_VARIABLE errors)
  string(STRIP "${output}" output)
  if(NOT exit_code STREQUAL expected_exit OR NOT output STREQUAL expected_output)
    message(FATAL_ERROR "${folder}: exit ${exit_code}, output [${output}], errors [${errors}]\n"
                        "expected exit ${expected_exit}, output [${expected_output}]")
  endif()
  message(STATUS "${folder} ${ARGN}: exit ${exit_code}, [${output}]")
endfunction()

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/fake ${WORK}/real)
file(WRITE ${WORK}/script.sql "create table t (a integer)\r\n\r\ninsert into t values (1)\r\n")
foreach(folder fake real)
  file(COPY ${EXEC} ${MODULE} DESTINATION ${WORK}/${folder})
endforeach()
# The fake driver answers every call with success.
file(COPY_FILE ${FAKE} ${WORK}/fake/fbdrv.dll)
file(COPY ${DRIVER} DESTINATION ${WORK}/real)

# The module is named by its Windows path (Wine's Z: drive); the program's
# folder is where LoadLibraryA finds fbdrv.dll, for the module and for the
# engine linked into the program alike.
foreach(folder fake real)
  file(TO_NATIVE_PATH "${WORK}/${folder}/UDFTolvane.dll" native)
  string(REPLACE "/" "\\" native "Z:${native}")
  set(module_${folder} --module ${native})
endforeach()
run_exec(${WORK}/fake 0 "ok" ${module_fake})
run_exec(${WORK}/fake 0 "ok")
# The real driver finds no fbclient.dll on this machine (the output is
# shown without its closing blanks).
run_exec(${WORK}/real 1 "Unable to Load fbclient.dll   -" ${module_real})
run_exec(${WORK}/real 1 "Unable to Load fbclient.dll   -")
