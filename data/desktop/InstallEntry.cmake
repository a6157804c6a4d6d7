# Run when installing, where the prefix is final (`cmake --install --prefix` may change it):
# writes an entry with tovin-share's absolute path in it, since a file manager's PATH often lacks
# a per-user bin folder until the next login.

cmake_policy(VERSION 3.25)

# Writes TEMPLATE as FOLDER/NAME under the prefix, readable by all, and runnable with EXECUTABLE.
# The template names the program in the quoting of its kind of file: @TOVIN_SHARE_EXEC@ in a
# desktop entry's Exec, @TOVIN_SHARE_SH@ in a shell script, @TOVIN_SHARE_NEMO@ in a Nemo action's
# Exec, @TOVIN_SHARE_PYTHON@ as a Python string.
function(tovin_install_entry template folder name)
    set(program "${CMAKE_INSTALL_PREFIX}")
    cmake_path(APPEND program "${TOVIN_BINDIR}" tovin-share)
    if(program MATCHES "[\t\r\n]")
        message(FATAL_ERROR "The entries cannot name ${program}: line breaks or tabs in its path")
    endif()

    # Outside quotes, a desktop entry's Exec takes a path of these characters alone.
    if(program MATCHES "^[A-Za-z0-9/._+,:@=-]+$")
        set(TOVIN_SHARE_EXEC "${program}")
    else()
        string(REGEX REPLACE "([\"`$\\\\])" "\\\\\\1" quoted "${program}")
        # The entry's own escapes: a backslash doubled, a percent sign that is no field code.
        string(REPLACE "\\" "\\\\" quoted "\"${quoted}\"")
        string(REPLACE "%" "%%" TOVIN_SHARE_EXEC "${quoted}")
    endif()
    string(REPLACE "'" "'\\''" quoted "${program}")
    set(TOVIN_SHARE_SH "'${quoted}'")
    string(REPLACE "\\" "\\\\" TOVIN_SHARE_NEMO "${TOVIN_SHARE_SH}")
    string(REPLACE "\\" "\\\\" quoted "${program}")
    string(REPLACE "\"" "\\\"" quoted "${quoted}")
    set(TOVIN_SHARE_PYTHON "\"${quoted}\"")

    set(permissions OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    if("EXECUTABLE" IN_LIST ARGN)
        list(APPEND permissions OWNER_EXECUTE GROUP_EXECUTE WORLD_EXECUTE)
    endif()
    set(destination "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${folder}/${name}")
    message(STATUS "Installing: ${destination}")
    configure_file("${template}" "${destination}" @ONLY FILE_PERMISSIONS ${permissions})
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${destination}")
    set(CMAKE_INSTALL_MANIFEST_FILES "${CMAKE_INSTALL_MANIFEST_FILES}" PARENT_SCOPE)
endfunction()
