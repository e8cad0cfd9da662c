# The processor share of the real program while it streams (scripts/streaming-cpu): a stand-in
# device library that answers a poll without a packet at once.
add_library(kardemo_paced SHARED ${CMAKE_CURRENT_LIST_DIR}/streaming/PacedKardemo.c)
target_include_directories(kardemo_paced PRIVATE ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(kardemo_paced PRIVATE m)
set_target_properties(kardemo_paced PROPERTIES C_VISIBILITY_PRESET hidden OUTPUT_NAME kardemo
                                               LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench/paced)
solvane_warnings(kardemo_paced)

add_executable(wake_floor ${CMAKE_CURRENT_LIST_DIR}/streaming/WakeFloor.c)
set_target_properties(wake_floor PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
solvane_warnings(wake_floor)

add_executable(processor_time ${CMAKE_CURRENT_LIST_DIR}/streaming/ProcessorTime.c)
set_target_properties(processor_time PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
solvane_warnings(processor_time)

# The time from a key to the silencing command, from outside the program (scripts/input-latency).
find_package(X11 REQUIRED)
add_executable(key_latency ${CMAKE_CURRENT_LIST_DIR}/streaming/KeyLatency.c)
target_link_libraries(key_latency PRIVATE X11::X11 X11::Xtst)
set_target_properties(key_latency PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
solvane_warnings(key_latency)
