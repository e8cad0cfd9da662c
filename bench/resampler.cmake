# The live sources' resampler: its amplitude, frequency and delay figures at the rates boards
# and streams bring, and its cost per input frame.
solvane_benchmark(dsu_resampler_bench resampler/LiveResamplerBench.cpp)
target_link_libraries(dsu_resampler_bench PRIVATE solvane_dsu)
