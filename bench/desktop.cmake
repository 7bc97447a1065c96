# Benchmarks on a real desktop (run them under scripts/desktop-session): the context read of a
# GTK window over AT-SPI, and a window capture in its stages. They need the desktop back-end
# and the fixture programs of the desktop tests.
if(TARGET wrenfold_platform AND TARGET gtk_fixture)
  wrenfold_add_bench(context_read_bench
    SOURCES
      context_read_bench.cpp
      ${PROJECT_SOURCE_DIR}/tests/desktop/fixture_app.cpp
    LIBS wrenfold_platform)
  target_include_directories(context_read_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(context_read_bench PRIVATE WRENFOLD_GTK_FIXTURE="$<TARGET_FILE:gtk_fixture>")
  add_dependencies(context_read_bench gtk_fixture)

  wrenfold_add_bench(window_capture_bench SOURCES window_capture_bench.cpp LIBS wrenfold_platform)
endif()
