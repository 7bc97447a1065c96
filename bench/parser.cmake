wrenfold_add_bench(parser_bench SOURCES parser_bench.cpp)
