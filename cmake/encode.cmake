# Enciphers one plain-text definition file with quillon-cli (run under the emulator when
# cross-compiling). Called as a script: -DEMULATOR -DTOOL -DIN -DOUT.
# Every standard stream goes to a file: a pipe would be inherited by the emulator's helper
# processes, which outlive the call and keep the build waiting for the pipe to close.
execute_process(COMMAND ${EMULATOR} ${TOOL} encode
  INPUT_FILE ${IN} OUTPUT_FILE ${OUT}.tmp ERROR_FILE ${OUT}.err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  file(READ ${OUT}.err err)
  message(FATAL_ERROR "enciphering ${IN} failed (${rc}): ${err}")
endif()
file(REMOVE ${OUT}.err)
file(RENAME ${OUT}.tmp ${OUT})
