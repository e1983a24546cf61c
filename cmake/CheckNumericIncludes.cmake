# The numeric code (app/processing: filters, fits, parameters, material ratio, catalogue, cut-off
# rules) stands below the trace model and everything built on it. A file of it includes only
# other processing/ headers and library headers; an include of another project folder ("core/",
# "traceprocessing/", ...) runs upward and fails this check.
#
#   cmake -DSOURCES="file;file;..." -P CheckNumericIncludes.cmake
set(upward)
foreach(source ${SOURCES})
    file(STRINGS ${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"]*/")
    foreach(line ${includes})
        if(NOT line MATCHES "\"processing/")
            string(STRIP "${line}" line)
            list(APPEND upward "${source}: ${line}")
        endif()
    endforeach()
endforeach()
if(upward)
    foreach(line ${upward})
        message(NOTICE "${line}")
    endforeach()
    message(FATAL_ERROR "The numeric code includes from a folder above it (listed above)")
endif()
