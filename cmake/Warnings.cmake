# Warnings are errors for our own targets; third-party headers come in as SYSTEM.
# -Wnull-dereference is left out; -Wrestrict and -Wmaybe-uninitialized are switched off: with
# GCC 12 at -O2 they fire inside the standard library (false positives: GCC bug 105329 and
# std::variant moves).
function(wrenfold_set_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Werror
    -Wshadow -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Woverloaded-virtual
    -Wconversion -Wsign-conversion -Wdouble-promotion -Wimplicit-fallthrough
    $<$<CXX_COMPILER_ID:GNU>:-Wno-restrict -Wno-maybe-uninitialized>)
endfunction()
