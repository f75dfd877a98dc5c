# qv_add_test(name SOURCES a.cpp ... LIBS lib ...)
# One Qt Test executable test_<name>, registered with CTest and run on the offscreen platform.
function(qv_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(test_${name} ${ARG_SOURCES})
  target_link_libraries(test_${name} PRIVATE Qt6::Test ${ARG_LIBS})
  add_test(NAME ${name} COMMAND test_${name})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QT_LOGGING_RULES=qt.qpa.*=false"
    TIMEOUT 300)
endfunction()

# qv_add_bench(topic SOURCES ... LIBS ...): bench_<topic>, built but not run by CTest.
function(qv_add_bench topic)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(bench_${topic} ${ARG_SOURCES})
  target_link_libraries(bench_${topic} PRIVATE ${ARG_LIBS})
endfunction()

# Lets the users of a library include the form headers (ui_*.h) that its own headers include.
function(qv_export_forms target)
  target_include_directories(${target} PUBLIC ${CMAKE_CURRENT_BINARY_DIR}/${target}_autogen/include)
endfunction()
