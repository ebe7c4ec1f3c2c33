# Writes the version of this build into OUTPUT_DIR: the project's version (BASE_VERSION), and
# in a build from a git checkout "+git<commits>.<revision>" after it (0.1.0+git250.77aee01),
# which sorts later with every commit on a branch, as package versions must.
#   programversiontext.h  FENLOWICK_VERSION_TEXT for src/core/base/programversion.cpp
#   version.cmake         FENLOWICK_FULL_VERSION for the package and its files
# Run at every build (cmake -DSOURCE_DIR=... -DBASE_VERSION=... -DOUTPUT_DIR=... -P), so that
# a commit changes the version without configuring again. A file is rewritten only when its
# text changes: an unchanged version rebuilds nothing.
set(version "${BASE_VERSION}")
find_program(GIT_PROGRAM git)
if(GIT_PROGRAM)
    # Only the checkout of these sources counts, not a repository around an unpacked archive.
    execute_process(COMMAND ${GIT_PROGRAM} rev-parse --show-toplevel
        WORKING_DIRECTORY ${SOURCE_DIR} RESULT_VARIABLE top_failed
        OUTPUT_VARIABLE top OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(NOT top_failed)
        file(REAL_PATH "${top}" top)
        file(REAL_PATH "${SOURCE_DIR}" source)
    endif()
    if(NOT top_failed AND top STREQUAL source)
        execute_process(COMMAND ${GIT_PROGRAM} rev-list --count HEAD
            WORKING_DIRECTORY ${SOURCE_DIR} RESULT_VARIABLE count_failed
            OUTPUT_VARIABLE count OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
        execute_process(COMMAND ${GIT_PROGRAM} rev-parse --short=7 HEAD
            WORKING_DIRECTORY ${SOURCE_DIR} RESULT_VARIABLE revision_failed
            OUTPUT_VARIABLE revision OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
        if(NOT count_failed AND NOT revision_failed)
            set(version "${BASE_VERSION}+git${count}.${revision}")
        endif()
    endif()
endif()

file(CONFIGURE OUTPUT ${OUTPUT_DIR}/programversiontext.h
    CONTENT "#pragma once\n#define FENLOWICK_VERSION_TEXT \"${version}\"\n")
file(CONFIGURE OUTPUT ${OUTPUT_DIR}/version.cmake
    CONTENT "set(FENLOWICK_FULL_VERSION \"${version}\")\n")
