# qv_add_test(name [THREADED] SOURCES a.cpp ... LIBS lib ...)
# One Qt Test executable test_<name>, registered with CTest and run on the offscreen platform.
# THREADED marks a test whose code runs on more than one thread: it gets the label "threads" and
# also runs under ThreadSanitizer (tools/test.sh).
function(qv_add_test name)
  cmake_parse_arguments(ARG "THREADED" "" "SOURCES;LIBS" ${ARGN})
  add_executable(test_${name} ${ARG_SOURCES})
  target_link_libraries(test_${name} PRIVATE Qt6::Test ${ARG_LIBS})
  if(QV_SANITIZE MATCHES "thread")
    target_sources(test_${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/sanitizers/tsanqt.cpp)
    target_link_libraries(test_${name} PRIVATE ${CMAKE_DL_LIBS})
  endif()
  add_test(NAME ${name} COMMAND test_${name})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QT_LOGGING_RULES=qt.qpa.*=false"
    TIMEOUT 300)
  add_dependencies(qv_tests test_${name})
  # Any test may open a scan file, whose structure a helper checks first (imagedata/hdf5probe.h).
  add_dependencies(test_${name} quorvel-scanprobe)
  if(ARG_THREADED)
    set_property(TEST ${name} APPEND PROPERTY LABELS threads)
    add_dependencies(qv_threaded_tests test_${name})
  endif()
endfunction()

# qv_add_fuzz(name SOURCES a.cpp ... LIBS lib ...)
# A libFuzzer target fuzz_<name>, built only when the build is configured with QV_FUZZ=ON; its seed
# corpus (small files) lives in tests/fuzz/corpus/<name>/. `tools/fuzz.sh [seconds] [name ...]` runs it.
function(qv_add_fuzz name)
  if(NOT QV_FUZZ)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(fuzz_${name} ${ARG_SOURCES})
  target_link_libraries(fuzz_${name} PRIVATE ${ARG_LIBS})
  target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
  add_dependencies(qv_fuzzers fuzz_${name})
  add_dependencies(fuzz_${name} quorvel-scanprobe)
endfunction()

# qv_add_bench(topic SOURCES ... LIBS ...): bench_<topic>, built but not run by CTest.
function(qv_add_bench topic)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(bench_${topic} ${ARG_SOURCES})
  target_link_libraries(bench_${topic} PRIVATE ${ARG_LIBS})
  add_dependencies(bench_${topic} quorvel-scanprobe)
endfunction()

# Lets the users of a library include the form headers (ui_*.h) that its own headers include.
function(qv_export_forms target)
  target_include_directories(${target} PUBLIC ${CMAKE_CURRENT_BINARY_DIR}/${target}_autogen/include)
endfunction()
