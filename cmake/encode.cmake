# Enciphers one plain-text definition file with quillon-cli (run under the emulator when
# cross-compiling). Called as a script: -DEMULATOR -DTOOL -DIN -DOUT [-DPREFIX].
# Every standard stream goes to a file: a pipe would be inherited by the emulator's helper
# processes, which outlive the call and keep the build waiting for the pipe to close.
# A build started outside the project's scripts has no Wine prefix of its own: it gets one in
# the build folder, never the host's default prefix in the home folder.
if("$ENV{WINEPREFIX}" STREQUAL "" AND PREFIX)
  set(ENV{WINEPREFIX} ${PREFIX})
  set(ENV{WINEDLLOVERRIDES} "mscoree,mshtml=;winemenubuilder.exe=d")
  set(ENV{WINEDEBUG} "-all")
endif()
execute_process(COMMAND ${EMULATOR} ${TOOL} encode
  INPUT_FILE ${IN} OUTPUT_FILE ${OUT}.tmp ERROR_FILE ${OUT}.err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  file(READ ${OUT}.err err)
  message(FATAL_ERROR "enciphering ${IN} failed (${rc}): ${err}")
endif()
file(REMOVE ${OUT}.err)
file(RENAME ${OUT}.tmp ${OUT})
