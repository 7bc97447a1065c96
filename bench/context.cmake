# The accessibility walk on an in-memory tree (the tests' header-only fake back-end).
wrenfold_add_bench(reader_bench
  SOURCES reader_bench.cpp)
target_include_directories(reader_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests)
