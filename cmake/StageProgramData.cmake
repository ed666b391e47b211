# Script mode: fills PROGRAM_DIR with config/ and messages/.
file(MAKE_DIRECTORY "${PROGRAM_DIR}/config" "${PROGRAM_DIR}/messages")
foreach(source IN LISTS CONFIG_FILES)
    get_filename_component(name "${source}" NAME)
    if(NOT EXISTS "${PROGRAM_DIR}/config/${name}")
        file(COPY "${source}" DESTINATION "${PROGRAM_DIR}/config")
    endif()
endforeach()
configure_file("${LANGUAGE_FILE}" "${PROGRAM_DIR}/config/language.lng" COPYONLY)
