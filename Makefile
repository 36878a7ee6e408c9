# The two commands of the README: `make demo` and `make test`. Both install
# what they need first.
JOBS ?= 2
FUZZ_SMOKE_SECONDS ?= 20
FUZZ_SECONDS ?= 600

.PHONY: all deps host win32 win64 host-asan host-fuzz test test-host test-windows test-win32 test-asan \
	fuzz bench demo forecast load clean

all: host win32

deps:
	@tools/dev/install_deps.sh

host: deps
	cmake --preset host >/dev/null
	cmake --build --preset host -j$(JOBS)

win32: deps
	cmake --preset win32 >/dev/null
	cmake --build --preset win32 -j$(JOBS)

# The same sources for 64-bit Windows: the Wine tests always run this build,
# and the 32-bit product too where the machine runs 32-bit code.
win64: deps
	cmake --preset win64 >/dev/null
	cmake --build --preset win64 -j$(JOBS)

host-asan: deps
	cmake --preset host-asan >/dev/null
	cmake --build --preset host-asan -j$(JOBS)

host-fuzz: deps
	cmake --preset host-fuzz >/dev/null
	cmake --build --preset host-fuzz -j$(JOBS)

# Unit and integration tests on the host, the windows layer under Wine, then
# a short fuzzing run.
test: host win32 win64 host-fuzz
	ctest --preset host -j$(JOBS)
	rm -f build/win64/win32-verdict.txt
	ctest --preset win64 -LE win32-full --output-on-failure
	@cat build/win64/win32-verdict.txt
	tests/fuzz/run_fuzz.sh $(FUZZ_SMOKE_SECONDS)

test-host: host
	ctest --preset host -j$(JOBS)

test-windows: host win32 win64
	rm -f build/win64/win32-verdict.txt
	ctest --preset win64 -LE win32-full --output-on-failure
	@cat build/win64/win32-verdict.txt

# The rest of the program's Wine tests against the 32-bit product (switches,
# service, korin-log, proxy): about a minute per process start under the
# emulator, so not part of `make test`.
test-win32: host win32 win64
	ctest --preset win64 -L win32-full

test-asan: host-asan
	ctest --preset host-asan -j$(JOBS)

# The fuzz targets for longer (FUZZ_SECONDS each).
fuzz: host host-fuzz
	tests/fuzz/run_fuzz.sh $(FUZZ_SECONDS)

# Speed and memory against baselines measured in the same run, as ratios.
bench: host
	cmake --build --preset host --target korin-trust-bench korin-settings-bench \
		korin-package-bench korin-fleet-bench -j$(JOBS)
	build/host/bin/korin-trust-bench
	build/host/bin/korin-settings-bench
	build/host/bin/korin-package-bench
	build/host/bin/korin-fleet-bench

# The update host is the test server; `make demo UPDATE_HOST=nginx` serves
# the published tree with nginx instead.
demo: host
	UPDATE_HOST=$(UPDATE_HOST) tools/demo/demo.sh

# A forecast of the demo release for 100,000 machines over 14 days, with
# its plots in build/forecast/.
forecast: host
	tools/fleet/forecast_demo.sh

# The nginx update host's capacity under a forecast's peak mix, and the hosts
# that hold its peak (docs/PUBLISHING.md, "Planning a release").
FORECAST ?= build/forecast
TREE ?= $(FORECAST)/tree
MIX ?= $(FORECAST)/peak-mix.txt
LOAD_SECONDS ?= 10
load: host
	build/host/bin/korin-fleet load --tree $(TREE) --mix $(MIX) --seconds $(LOAD_SECONDS) \
		--forecast $(FORECAST)

clean:
	rm -rf build
