#!/usr/bin/env bash
# The two threads of service mode under ThreadSanitizer: the pieces they
# share (the service runtime's status record, the log, the fake dispatcher
# and the fault injector) rebuilt with -fsanitize=thread and linked against
# the host build's libraries, then the runtime's and the log's tests run.
# Any data race fails the check.
#   thread_sanitizer_check.sh SOURCE_DIR HOST_BUILD_DIR
set -euo pipefail
src=$1
build=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
flags=(-I"$src/tests" -I"$src/src" -isystem /usr/include/rapidxml -O1 -g -std=c++20
    -fsanitize=thread -DGTEST_HAS_PTHREAD=1)
objects=()
for file in src/service/service_runtime.cpp src/support/log.cpp \
    tests/fakes/fake_service_dispatcher.cpp tests/service/service_runtime_test.cpp \
    tests/support/log_test.cpp; do
    object="$work/$(basename "$file" .cpp).o"
    c++ "${flags[@]}" -c "$src/$file" -o "$object"
    objects+=("$object")
done
# The instrumented objects come first, so the libraries' copies are not used.
c++ -fsanitize=thread -o "$work/tsan-tests" "${objects[@]}" "$build/tests/libkorin_fakes.a" \
    "$build/src/libkorin_core.a" -lgtest_main -lgtest -lpthread
TSAN_OPTIONS="halt_on_error=1 exitcode=66" "$work/tsan-tests" --gtest_brief=1 \
    --gtest_filter='ServiceRuntime.*:WriteLog.*'
