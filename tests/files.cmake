# The POSIX file helpers (src/files) that the program, the bundled DSU and the set-up share.
solvane_core_test(files_tests files/FileIoTest.cpp)
