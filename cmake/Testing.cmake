# GoogleTest as GTest::gtest and GTest::gtest_main. Debian's build serves the
# machine's own compiler; a cross build compiles Debian's sources of it (the
# googletest package, which libgtest-dev brings) with the cross compiler.
if(CMAKE_CROSSCOMPILING)
  set(KELMORA_GTEST_SOURCE /usr/src/googletest/googletest CACHE PATH "GoogleTest's sources")
  # Its build names them GTest::gtest and GTest::gtest_main itself.
  add_subdirectory(${KELMORA_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
else()
  find_package(GTest REQUIRED)
endif()

# kelmora_skipped_test(NAME REASON): a test program this build cannot run
# (on Windows: one that needs a POSIX shell, a pseudo-terminal or Linux's
# Wireshark tools), listed as skipped with the reason instead of left out.
function(kelmora_skipped_test name reason)
  add_test(NAME ${name} COMMAND ${CMAKE_COMMAND} -E echo "Skipped here: ${reason}")
  set_tests_properties(${name} PROPERTIES SKIP_REGULAR_EXPRESSION "Skipped here: ")
endfunction()
