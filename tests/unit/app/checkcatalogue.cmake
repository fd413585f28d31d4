# Runs lupdate over a copy of each catalogue: a text of the sources that a catalogue lacks, leaves
# unfinished or no longer needs fails the test, and is named.
foreach(catalogue IN LISTS CATALOGUES)
    get_filename_component(name "${catalogue}" NAME)
    set(copy "${WORK}/${name}")
    file(MAKE_DIRECTORY "${WORK}")
    configure_file("${catalogue}" "${copy}" COPYONLY)
    execute_process(COMMAND "${LUPDATE}" ${OPTIONS} ${SOURCES} -ts "${copy}"
                    RESULT_VARIABLE failed OUTPUT_VARIABLE said ERROR_VARIABLE said)
    if(failed)
        message(FATAL_ERROR "lupdate failed on ${name}:\n${said}")
    endif()
    file(READ "${copy}" text)
    string(REGEX MATCHALL "<source>[^<]*</source>[^<]*(<[a-z]*comment>[^<]*</[a-z]*comment>[^<]*)*<translation type=\"[a-z]+\""
           open "${text}")
    if(open)
        string(REPLACE ";" "\n" open "${open}")
        message(FATAL_ERROR "${name} is not up to date with the sources; run "
                            "`cmake --build build --target update_translations` and translate:\n${open}")
    endif()
endforeach()
