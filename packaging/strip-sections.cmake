# Run by CPack before it packs: the programs lose the compiler's notes, as Debian's own packages do.
foreach(directory ${CPACK_TEMPORARY_INSTALL_DIRECTORY})
    file(GLOB_RECURSE programs "${directory}/*/bin/*")
    foreach(program ${programs})
        execute_process(COMMAND strip --remove-section=.comment --remove-section=.note
                                ${program} RESULT_VARIABLE failed)
        if(failed)
            message(FATAL_ERROR "strip failed on ${program}")
        endif()
    endforeach()
endforeach()
