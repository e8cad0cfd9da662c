# The session viewer: opening a one-hour session, and one follow step of a long run.
solvane_benchmark(viewer_bench viewer/OpenSessionBench.cpp
                  ${PROJECT_SOURCE_DIR}/tests/support/SessionFiles.cpp
                  ${PROJECT_SOURCE_DIR}/tests/support/TempFolder.cpp)
target_link_libraries(viewer_bench PRIVATE solvane_viewer_core)
