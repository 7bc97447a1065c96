# Benchmarks on a real desktop (run them under scripts/desktop-session): the context read of a
# GTK window over AT-SPI, and a window capture in its stages. They need the desktop back-end
# and the fixture programs of the desktop tests.
if(TARGET wrenfold_platform AND TARGET gtk_fixture)
  wrenfold_add_bench(context_read_bench
    SOURCES
      context_read_bench.cpp
      ${PROJECT_SOURCE_DIR}/tests/desktop/fixture_app.cpp
    LIBS wrenfold_platform wrenfold_test_support)
  target_include_directories(context_read_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(context_read_bench PRIVATE WRENFOLD_GTK_FIXTURE="$<TARGET_FILE:gtk_fixture>")
  add_dependencies(context_read_bench gtk_fixture)

  wrenfold_add_bench(window_capture_bench SOURCES window_capture_bench.cpp LIBS wrenfold_platform)
endif()

# From the Alt double tap to the candidates in real programs, with the real `wrenfold` and a
# loopback model service; it reuses the end-to-end harness. Run by hand, see the README.
if(TARGET wrenfold_browser_e2e_test)
  add_executable(desktop_latency_bench desktop_latency_bench.cpp
    ${PROJECT_SOURCE_DIR}/tests/e2e/e2e_harness.cpp ${PROJECT_SOURCE_DIR}/tests/desktop/fixture_app.cpp)
  # The platform library brings libatspi and the X11 libraries (XTest) along.
  target_link_libraries(desktop_latency_bench PRIVATE wrenfold_test_support wrenfold_platform)
  target_include_directories(desktop_latency_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests/e2e
    ${PROJECT_SOURCE_DIR}/tests/desktop)
  target_compile_definitions(desktop_latency_bench PRIVATE
    WRENFOLD_BINARY="$<TARGET_FILE:wrenfold>"
    WRENFOLD_GTK_FIXTURE="$<TARGET_FILE:gtk_fixture>")
  add_dependencies(desktop_latency_bench wrenfold gtk_fixture)
  wrenfold_set_warnings(desktop_latency_bench)
endif()
