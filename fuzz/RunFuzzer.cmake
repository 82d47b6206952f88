# Runs one libFuzzer target, as the test of that name: for $ENV{FUZZ_SECONDS}
# seconds (30 when unset), growing WORK from SEEDS (folders that are not there
# are left out), every crash input kept in ARTIFACTS. Fails on a crash, with
# the end of the fuzzer's log and where its input is.
# cmake -DFUZZER=… -DWORK=… -DARTIFACTS=… -DSEEDS=a;b [-DOPTIONS=…] -P RunFuzzer.cmake
set(seconds 30)
if(DEFINED ENV{FUZZ_SECONDS})
    set(seconds $ENV{FUZZ_SECONDS})
endif()
file(REMOVE_RECURSE ${ARTIFACTS})
file(MAKE_DIRECTORY ${WORK} ${ARTIFACTS})
set(seeds)
foreach(folder IN LISTS SEEDS)
    if(IS_DIRECTORY "${folder}")
        list(APPEND seeds "${folder}")
    endif()
endforeach()

set(log ${ARTIFACTS}.log)
execute_process(
    COMMAND ${FUZZER} -max_total_time=${seconds} -timeout=20 -rss_limit_mb=2048
            -print_final_stats=1 -artifact_prefix=${ARTIFACTS}/ ${OPTIONS} ${WORK} ${seeds}
    RESULT_VARIABLE status OUTPUT_FILE ${log} ERROR_FILE ${log})

file(READ ${log} text)
string(REGEX MATCH "number_of_executed_units: *[0-9]+" runs "${text}")
string(REGEX MATCH "[0-9]+$" runs "${runs}")
file(GLOB crashes ${ARTIFACTS}/*)
list(LENGTH crashes count)
message("${runs} executions in ${seconds} s, ${count} crash input(s), exit ${status}")
if(NOT status EQUAL 0 OR count GREATER 0)
    string(LENGTH "${text}" length)
    if(length GREATER 6000)
        math(EXPR length "${length} - 6000")
        string(SUBSTRING "${text}" ${length} -1 text)
    endif()
    message(FATAL_ERROR "…${text}\nThe whole log: ${log}\nCrash inputs: ${crashes}")
endif()
