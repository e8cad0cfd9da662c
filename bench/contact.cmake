# The electrode contact monitor's share of draw: whole contact windows of 129 packets.
solvane_benchmark(contact_bench contact/ContactBenchmark.cpp)
