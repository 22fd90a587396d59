# Run by CPack once the files are staged and before they are packed: gives
# them the shape Debian's policy asks for, so that lintian accepts the package.
#  - man pages compressed with gzip -9n;
#  - the machine-readable copyright file instead of the licence's full text
#    (Debian keeps that text in /usr/share/common-licenses/GPL-3);
#  - a changelog.gz.
set(root "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
if(NOT IS_DIRECTORY "${root}/share")
  message(FATAL_ERROR "No staged files under ${root}")
endif()
find_program(GZIP gzip REQUIRED)

file(GLOB pages "${root}/share/man/man1/*.1")
foreach(page IN LISTS pages)
  execute_process(COMMAND ${GZIP} -9nf "${page}" COMMAND_ERROR_IS_FATAL ANY)
endforeach()

set(doc "${root}/${CPACK_VARNOLT_DOC_DIR}")
file(REMOVE "${doc}/LICENSE")
file(COPY_FILE "${CPACK_VARNOLT_COPYRIGHT}" "${doc}/copyright")
string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE "${doc}/changelog"
     "varnolt (${CPACK_PACKAGE_VERSION}) unstable; urgency=medium\n\n"
     "  * Release ${CPACK_PACKAGE_VERSION}; see /usr/share/doc/varnolt/README.md.\n\n"
     " -- ${CPACK_PACKAGE_CONTACT}  ${date}\n")
execute_process(COMMAND ${GZIP} -9nf "${doc}/changelog" COMMAND_ERROR_IS_FATAL ANY)
