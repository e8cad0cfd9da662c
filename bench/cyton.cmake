# The bundled DSU reading its live sources in real time: the delay from a sample's arrival to
# its packet leaving GetP3Data for an emulated Cyton and OpenEEG board and a paced LSL stream,
# and the polling thread's processor share next to the synthetic source. The emulated board
# and the stand-in liblsl are built here, so that the benchmark needs no tests.
find_package(Threads REQUIRED)
add_library(lsl_standin_bench SHARED ${PROJECT_SOURCE_DIR}/tests/lsl/LslStandIn.c)
set_target_properties(lsl_standin_bench PROPERTIES
    C_VISIBILITY_PRESET hidden LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench/lsl)
target_link_libraries(lsl_standin_bench PRIVATE m)
solvane_warnings(lsl_standin_bench)

solvane_benchmark(dsu_cyton_bench cyton/CytonBench.cpp
                  ${PROJECT_SOURCE_DIR}/tests/boards/BoardEmulator.cpp
                  ${PROJECT_SOURCE_DIR}/tests/support/TempFolder.cpp)
target_link_libraries(dsu_cyton_bench PRIVATE solvane_dsu util Threads::Threads ${CMAKE_DL_LIBS})
target_compile_definitions(dsu_cyton_bench PRIVATE
    SOLVANE_LSL_STANDIN="$<TARGET_FILE:lsl_standin_bench>")
add_dependencies(dsu_cyton_bench lsl_standin_bench)
