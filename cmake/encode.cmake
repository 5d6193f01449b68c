# Enciphers one plain-text definition file with quillon-cli (run under the emulator when
# cross-compiling). Called as a script: -DEMULATOR -DTOOL -DIN -DOUT.
execute_process(COMMAND ${EMULATOR} ${TOOL} encode
  INPUT_FILE ${IN} OUTPUT_FILE ${OUT}.tmp RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "enciphering ${IN} failed (${rc})")
endif()
file(RENAME ${OUT}.tmp ${OUT})
