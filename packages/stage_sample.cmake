# Lays out the sample package for packing: a fresh copy of the sample
# folder (a file deleted there must not linger) without its README, plus
# the built language monitor DLLs.
file(REMOVE_RECURSE ${STAGE})
file(COPY ${SOURCE}/ DESTINATION ${STAGE} PATTERN README.md EXCLUDE)
file(COPY ${MONITOR32} DESTINATION ${STAGE}/Barcode/x86)
file(COPY ${MONITOR64} DESTINATION ${STAGE}/Barcode/x64)
# A package for a Windows of another ANSI code page: the catalogue CATALOGUE
# (UTF-8) replaces the sample's, in that code page's bytes (iconv's name of
# it in CATALOGUE_CODE_PAGE), as a catalogue written there is.
if(DEFINED CATALOGUE)
  execute_process(COMMAND iconv -f UTF-8 -t ${CATALOGUE_CODE_PAGE} ${CATALOGUE}
    OUTPUT_FILE ${STAGE}/DriverName.cfg RESULT_VARIABLE converted)
  if(NOT converted EQUAL 0)
    message(FATAL_ERROR "iconv could not write ${CATALOGUE} in ${CATALOGUE_CODE_PAGE}")
  endif()
endif()
