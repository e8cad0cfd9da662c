# The simulated DSU: packets per second as fast as polled (replay and synthetic) and the
# processor share of a real-time run; the recovery of a killed one-hour run.
solvane_benchmark(dsu_sim_bench dsu/DsuSimBench.cpp dsu/RecoveryBench.cpp ${PROJECT_SOURCE_DIR}/tests/support/TempFolder.cpp)
target_link_libraries(dsu_sim_bench PRIVATE solvane_dsu)
target_compile_definitions(dsu_sim_bench PRIVATE
    SOLVANE_EEG_RECORDINGS="${PROJECT_SOURCE_DIR}/data/eeg")
