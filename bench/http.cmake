# The HTTPS exchange: connection reuse between sequential requests. Its loopback server comes
# from the test support library, so it exists only when the tests are built.
if(TARGET wrenfold_test_support)
  wrenfold_add_bench(http_bench SOURCES http_bench.cpp LIBS wrenfold_test_support)
endif()
