# Run by CPack after it wrote the zip and before it writes the checksum: makes
# the zip depend on nothing but the files it holds, so that two builds of one
# commit give the same bytes and the same .sha256. strip-nondeterminism puts
# the entries in name order, gives every entry one time, drops the builder's
# user and group ids and normalises the permissions. The time is
# $SOURCE_DATE_EPOCH when set, else the commit time of the source tree's HEAD
# when the source tree is the top of a git work tree, else its own fixed time
# (1 January 1980): a source download has no commit, also when it was
# unpacked inside some other repository. Zip entries hold local time, so it
# runs with the time zone set to UTC.
set(epoch "$ENV{SOURCE_DATE_EPOCH}")
if(epoch STREQUAL "")
  find_program(git git)
  if(git)
    execute_process(COMMAND ${git} -C ${CPACK_ROTAVUE_SOURCE_DIR} rev-parse --show-toplevel
                    OUTPUT_VARIABLE work_tree OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    file(REAL_PATH ${CPACK_ROTAVUE_SOURCE_DIR} source_tree)
    if(work_tree STREQUAL source_tree)
      execute_process(COMMAND ${git} -C ${CPACK_ROTAVUE_SOURCE_DIR} log -1 --format=%ct
                      OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    endif()
  endif()
endif()
set(timestamp)
if(epoch MATCHES "^[0-9]+$")
  set(timestamp --timestamp ${epoch})
endif()

find_program(strip_nondeterminism strip-nondeterminism REQUIRED)
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC0
                          ${strip_nondeterminism} --type zip ${timestamp} ${package}
                  COMMAND_ERROR_IS_FATAL ANY)
endforeach()
