# Lays out the sample package for packing: a fresh copy of the sample
# folder (a file deleted there must not linger) without its README, plus
# the built language monitor DLLs.
file(REMOVE_RECURSE ${STAGE})
file(COPY ${SOURCE}/ DESTINATION ${STAGE} PATTERN README.md EXCLUDE)
file(COPY ${MONITOR32} DESTINATION ${STAGE}/Barcode/x86)
file(COPY ${MONITOR64} DESTINATION ${STAGE}/Barcode/x64)
