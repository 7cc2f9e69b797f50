# Run by cpack last after staging, for every package: with SOURCE_DATE_EPOCH set, every staged file and
# folder takes that time, so that the archives' member times repeat from build to build.
if("$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
  return()
endif()
execute_process(COMMAND find "${CPACK_TEMPORARY_DIRECTORY}" -exec touch -h -d "@$ENV{SOURCE_DATE_EPOCH}" {} +
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "could not set the staged files' times")
endif()
