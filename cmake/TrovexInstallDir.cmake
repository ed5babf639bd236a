# The program's own folder, below the install prefix. Uninstall removes what the installation put
# there, so it must be a folder of its own: named for the program ("trovex", "Trovex-0.1", ...),
# never a shared one such as bin or lib, where the marker would make other programs' files look
# like ours. Included by the build, and runnable as `cmake -DTROVEX_INSTALL_DIR=<dir> -P <this file>`.
function(trovex_check_install_dir dir)
    get_filename_component(name "${dir}" NAME)
    string(TOLOWER "${name}" lower)
    if(NOT lower MATCHES "^trovex")
        message(FATAL_ERROR "TROVEX_INSTALL_DIR='${dir}' is not a folder of the program's own: "
                            "give a folder named for it, such as lib/trovex or /opt/trovex")
    endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
    trovex_check_install_dir("${TROVEX_INSTALL_DIR}")
endif()
