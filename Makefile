# The two commands of the README: `make demo` and `make test`. Both install
# what they need first.
JOBS ?= 2

.PHONY: all deps host win32 host-asan test test-host test-win32 test-asan bench demo clean

all: host win32

deps:
	@tools/dev/install_deps.sh

host: deps
	cmake --preset host >/dev/null
	cmake --build --preset host -j$(JOBS)

win32: deps
	cmake --preset win32 >/dev/null
	cmake --build --preset win32 -j$(JOBS)

host-asan: deps
	cmake --preset host-asan >/dev/null
	cmake --build --preset host-asan -j$(JOBS)

# Unit and integration tests on the host, then the windows layer under Wine.
test: host win32
	ctest --preset host -j$(JOBS)
	ctest --preset win32

test-host: host
	ctest --preset host -j$(JOBS)

test-win32: win32
	ctest --preset win32

test-asan: host-asan
	ctest --preset host-asan -j$(JOBS)

# Benchmarks: ratios against a baseline measured in the same run.
bench: host
	cmake --build --preset host --target bench

demo: host
	tools/demo/demo.sh

clean:
	rm -rf build
