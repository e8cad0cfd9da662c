# The bundled DSU reading an emulated Cyton board in real time: the delay from a board sample's
# write to its packet leaving GetP3Data, and the polling thread's processor share next to the
# synthetic source.
find_package(Threads REQUIRED)
solvane_benchmark(dsu_cyton_bench cyton/CytonBench.cpp
                  ${PROJECT_SOURCE_DIR}/tests/cyton/CytonEmulator.cpp
                  ${PROJECT_SOURCE_DIR}/tests/support/TempFolder.cpp)
target_link_libraries(dsu_cyton_bench PRIVATE solvane_dsu util Threads::Threads)
