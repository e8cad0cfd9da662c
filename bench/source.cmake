# Recordings given as the source: the time and memory InitialiseDSU takes to refuse a large
# file that is no recording, or a large recording with a damaged header, and to accept a valid
# large recording.
solvane_benchmark(dsu_source_bench source/LargeSourceBench.cpp
                  ${PROJECT_SOURCE_DIR}/tests/support/TempFolder.cpp)
target_link_libraries(dsu_source_bench PRIVATE solvane_dsu)
target_compile_definitions(dsu_source_bench PRIVATE
    SOLVANE_EEG_RECORDINGS="${PROJECT_SOURCE_DIR}/data/eeg")
