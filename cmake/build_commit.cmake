# Writes OUTPUT, a source file defining the commit the build is made from, and touches it only
# when the text changes, so an unchanged commit relinks nothing. Run on every build.
#   cmake -DSOURCE_DIR=... -DOUTPUT=... -P build_commit.cmake
set(commit "unknown")
find_package(Git QUIET)
if(GIT_FOUND)
  execute_process(COMMAND "${GIT_EXECUTABLE}" -C "${SOURCE_DIR}" rev-parse --short=12 HEAD
                  OUTPUT_VARIABLE head OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE head_status ERROR_QUIET)
  if(head_status EQUAL 0 AND NOT head STREQUAL "")
    set(commit "${head}")
    # Uncommitted changes to tracked files make it another program than the commit.
    execute_process(COMMAND "${GIT_EXECUTABLE}" -C "${SOURCE_DIR}" diff --quiet HEAD --
                    RESULT_VARIABLE dirty ERROR_QUIET)
    if(dirty EQUAL 1)
      string(APPEND commit "-dirty")
    endif()
  endif()
endif()
set(text "// Written by cmake/build_commit.cmake.\nnamespace sproutsmith::os {\nextern const char kBuildCommit[];\nconst char kBuildCommit[] = \"${commit}\";\n}  // namespace sproutsmith::os\n")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
endif()
if(NOT old STREQUAL text)
  file(WRITE "${OUTPUT}" "${text}")
endif()
