# The FFT component, blocks of samples and their spectra.
solvane_core_test(spectra_test spectra/TransformTest.cpp spectra/BlockTest.cpp)
# Nothing allocated per packet or per block; replaces the global allocation functions, so it
# has an executable of its own.
solvane_core_test(spectra_allocation_test spectra/AllocationTest.cpp)
