# The per-packet store path, the analysis pass over four slots, and whole blocks through draw,
# with allocations counted.
solvane_benchmark(spectra_bench spectra/SpectraBench.cpp)
