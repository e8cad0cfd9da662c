# The FFT component, blocks of samples and their spectra.
solvane_core_test(spectra_test spectra/TransformTest.cpp spectra/BlockTest.cpp)
