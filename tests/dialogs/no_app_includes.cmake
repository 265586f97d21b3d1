# Fails when a file of the folder DIR includes a header of app/: the dialogs sit below the
# window, so that the window may use them and they never reach back into it.
# Run as: cmake -DDIR=<folder> -P no_app_includes.cmake
file(GLOB files "${DIR}/*.h" "${DIR}/*.cpp")
if(NOT files)
    message(FATAL_ERROR "no sources in ${DIR}")
endif()
set(offenders "")
foreach(file IN LISTS files)
    file(STRINGS "${file}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]app/")
    foreach(line IN LISTS includes)
        string(APPEND offenders "\n  ${file}: ${line}")
    endforeach()
endforeach()
if(offenders)
    message(FATAL_ERROR "dialogs/ must not include app/:${offenders}")
endif()
