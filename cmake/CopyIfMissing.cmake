# Copies SOURCE to DEST unless DEST already exists: a settings file the user
# has changed in the program folder is never overwritten by a rebuild.
if(NOT EXISTS "${DEST}")
    file(COPY_FILE "${SOURCE}" "${DEST}")
endif()
