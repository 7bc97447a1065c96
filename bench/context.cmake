# The accessibility walk on an in-memory tree (the fake back-end is compiled in).
wrenfold_add_bench(reader_bench
  SOURCES
    reader_bench.cpp
    ${PROJECT_SOURCE_DIR}/tests/fakes/fake_accessibility.cpp)
target_include_directories(reader_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests)
