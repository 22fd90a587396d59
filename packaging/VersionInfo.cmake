# Run at every build: writes the version text, with the commit when the sources
# are a git checkout, into OUTPUT. The file is rewritten only when the text
# changes, so an unchanged commit rebuilds nothing.
# Takes SOURCE_DIR, VERSION and OUTPUT.
set(text "VARNOLT ${VERSION}")
find_package(Git QUIET)
if(GIT_FOUND)
  execute_process(COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} rev-parse --short=12 HEAD
                  OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE failed ERROR_QUIET)
  if(NOT failed AND commit)
    execute_process(COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} status --porcelain --untracked-files=no
                    OUTPUT_VARIABLE changes OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(changes)
      set(commit "${commit}, modified")
    endif()
    set(text "${text} (commit ${commit})")
  endif()
endif()
set(content "// Written by packaging/VersionInfo.cmake at build time.\n#include \"platform/Version.h\"\n\nnamespace varnolt {\n\nconst char* VersionText() { return \"${text}\"; }\n\n}  // namespace varnolt\n")
if(EXISTS ${OUTPUT})
  file(READ ${OUTPUT} old)
endif()
if(NOT old STREQUAL content)
  file(WRITE ${OUTPUT} "${content}")
endif()
