# Turns the best-fit table of code page 932 (a header line, then rows of code
# point, bytes and character, tab-separated) into a C++ header, at build time:
#
#   cmake -DINPUT=bestfit.tsv -DTEMPLATE=BestFitTable.h.in -DOUTPUT=BestFitTable.h -P BestFitTable.cmake
#
# A row that does not parse stops the build rather than dropping a character.
foreach(variable INPUT TEMPLATE OUTPUT)
    if(NOT DEFINED ${variable})
        message(FATAL_ERROR "BestFitTable.cmake needs -D${variable}=...")
    endif()
endforeach()

file(STRINGS "${INPUT}" lines ENCODING UTF-8)
list(POP_FRONT lines header)
if(NOT header MATCHES "^code point\tbytes\t")
    message(FATAL_ERROR "${INPUT}: the first line is not the header: ${header}")
endif()

set(BESTFIT_ROWS "")
set(BESTFIT_COUNT 0)
set(previous -1)
foreach(line IN LISTS lines)
    if(line STREQUAL "")
        continue()
    endif()
    # Code points of the Basic Multilingual Plane only: the conversion looks at
    # one UTF-16 unit at a time, so nothing beyond it can have a best fit.
    if(NOT line MATCHES "^U\\+([0-9A-F][0-9A-F][0-9A-F][0-9A-F])\t([0-9A-F][0-9A-F])([0-9A-F][0-9A-F])?\t")
        message(FATAL_ERROR "${INPUT}: not a row of code point, one or two bytes, character: ${line}")
    endif()
    set(unit "${CMAKE_MATCH_1}")
    set(first "${CMAKE_MATCH_2}")
    set(second "${CMAKE_MATCH_3}")
    math(EXPR code "0x${unit}")
    if(code LESS_EQUAL previous)
        message(FATAL_ERROR "${INPUT}: U+${unit} is out of ascending order")
    endif()
    set(previous ${code})
    if(second STREQUAL "")
        string(APPEND BESTFIT_ROWS "    {0x${unit}, 1, {0x${first}, 0x00}},\n")
    else()
        string(APPEND BESTFIT_ROWS "    {0x${unit}, 2, {0x${first}, 0x${second}}},\n")
    endif()
    math(EXPR BESTFIT_COUNT "${BESTFIT_COUNT} + 1")
endforeach()

if(BESTFIT_COUNT EQUAL 0)
    message(FATAL_ERROR "${INPUT}: no rows")
endif()
cmake_path(GET INPUT FILENAME TABLE_NAME)
configure_file("${TEMPLATE}" "${OUTPUT}" @ONLY)
