# The AVE command texts, the entrainment output's updates, and whole runs with the fake
# device library.
solvane_core_test(entrainment_test entrainment/EntrainmentTest.cpp
                  entrainment/EntrainmentRunTest.cpp)
