# Checking builds, each configured in a build folder of its own (tools/test.sh does the last two):
#   -DQV_SANITIZE=address,undefined   AddressSanitizer and UBSan; build the target qv_tests
#   -DQV_SANITIZE=thread              ThreadSanitizer; build qv_threaded_tests (tests marked THREADED)
#   -DQV_FUZZ=ON, with clang          libFuzzer targets under ASan and UBSan; build qv_fuzzers, and
#                                     qv_tests for the suite under the same sanitizers
# A report stops the program (no recovery), so a report fails its test. These builds compile at -O1
# with line tables only: enough for readable reports, and cheap to build. The groups below name only
# what the tests or fuzz targets need, so no benchmark or program beyond them is built.
set(QV_SANITIZE "" CACHE STRING "Sanitizers for the whole build: address,undefined or thread")
option(QV_FUZZ "Build the fuzz targets (clang libFuzzer, with ASan and UBSan)" OFF)

add_custom_target(qv_tests)
add_custom_target(qv_threaded_tests)
add_custom_target(qv_fuzzers)

if(QV_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "QV_FUZZ needs clang (configure with -DCMAKE_CXX_COMPILER=clang++)")
  endif()
  if(NOT QV_SANITIZE)
    set(QV_SANITIZE address,undefined)
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

if(QV_SANITIZE)
  set(qvSanitizerFlags -fsanitize=${QV_SANITIZE} -fno-sanitize-recover=all -fno-omit-frame-pointer)
  # GCC leaves float-to-integer overflow out of "undefined"; clang has it in.
  if(QV_SANITIZE MATCHES "undefined" AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    list(APPEND qvSanitizerFlags -fsanitize=float-cast-overflow)
  endif()
  add_compile_options(${qvSanitizerFlags} -O1)
  # For code that must know (GCC's __SANITIZE_ADDRESS__ is not clang's).
  if(QV_SANITIZE MATCHES "address")
    add_compile_definitions(QV_ASAN)
  endif()
  if(QV_SANITIZE MATCHES "thread")
    add_compile_definitions(QV_TSAN)
  endif()
  add_link_options(${qvSanitizerFlags})
  if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    add_compile_options(-gline-tables-only)
  else()
    add_compile_options(-g1)
  endif()
endif()
