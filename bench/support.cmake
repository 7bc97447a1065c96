wrenfold_add_bench(logger_bench SOURCES logger_bench.cpp)
