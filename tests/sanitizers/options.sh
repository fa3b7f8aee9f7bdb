# Sanitizer settings for running the build-asan programs; sourced by
# tests/sanitize.sh.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export ASAN_OPTIONS="detect_leaks=1:halt_on_error=1:abort_on_error=0:print_stacktrace=1:detect_stack_use_after_return=1:check_initialization_order=1"
export LSAN_OPTIONS="suppressions=$here/lsan.supp"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
