# Run by cpack on the staged tree before it is packed: Debian keeps manual pages compressed
# (`gzip -n`, so that the package does not change with the time it was made).
file(GLOB pages "${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/share/man/man*/*.[1-9]")
foreach(page IN LISTS pages)
    execute_process(COMMAND gzip -9 -n -f "${page}" COMMAND_ERROR_IS_FATAL ANY)
endforeach()
