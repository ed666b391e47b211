# Install mode (CMAKE_INSTALL_PREFIX is the prefix of this install). The
# configuration files are the user's and are copied only when missing, so a
# reinstall keeps what the user set; everything else is replaced.
set(PROGRAM_FOLDER "${CMAKE_INSTALL_PREFIX}/lib/junkwarden")
set(folder "$ENV{DESTDIR}${PROGRAM_FOLDER}")
# A package's program folder holds only the defaults each user's data
# folder is seeded from; a home install keeps the data beside the program.
file(MAKE_DIRECTORY "${folder}/config")
if(NOT PACKAGE_MODE)
    file(MAKE_DIRECTORY "${folder}/messages")
endif()
foreach(source IN LISTS CONFIG_FILES)
    get_filename_component(name "${source}" NAME)
    if(NOT EXISTS "${folder}/config/${name}")
        message(STATUS "Installing: ${folder}/config/${name}")
        file(COPY "${source}" DESTINATION "${folder}/config")
    else()
        message(STATUS "Kept: ${folder}/config/${name}")
    endif()
endforeach()
# The launcher on the user's PATH, and the menu entry.
file(MAKE_DIRECTORY "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/bin")
file(CREATE_LINK "../lib/junkwarden/junkwarden" "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/bin/junkwarden" SYMBOLIC)
set(JUNKWARDEN_INSTALLED_EXECUTABLE "${PROGRAM_FOLDER}/junkwarden")
message(STATUS "Installing: $ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/share/applications/junkwarden.desktop")
configure_file("${DESKTOP_TEMPLATE}" "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/share/applications/junkwarden.desktop" @ONLY)
