# Runs the exhaustive checker over a small range with one deliberately wrong
# text and expects it to fail, naming that value, its right text and the
# wrong one; a checker that checked nothing would pass.
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/fault_case.txt "0.01 -0.004\n")
execute_process(
  COMMAND ${CHECKER} --cases ${CMAKE_CURRENT_BINARY_DIR}/fault_case.txt --raw -2000:2000
          --fault 1234
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
message("${out}")
if(NOT status EQUAL 1)
  message(FATAL_ERROR "the checker exited ${status}, not 1, on a wrong digit")
endif()
if(NOT out MATCHES "MISMATCH raw 1234 [^\n]*expected \"12.34\", got \"12.35\"")
  message(FATAL_ERROR "the checker did not report the wrong digit of raw 1234")
endif()
if(NOT out MATCHES "1 cases, 1 mismatches")
  message(FATAL_ERROR "the checker counted other mismatches than the one made")
endif()
execute_process(
  COMMAND ${CHECKER} --cases ${CMAKE_CURRENT_BINARY_DIR}/fault_case.txt --raw -2000:2000
  OUTPUT_VARIABLE out RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the checker failed the right writer:\n${out}")
endif()
