# Top-level commands. `make run` and `make test` do all the set-up themselves.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
FUZZ_RUNS ?= 2500
FUZZ_HAND_RUNS ?= 20000
FUZZ_ARGS_RUNS ?= 200000
# the interpreter Debian's python3-* packages serve, which the module is built for
PYTHON ?= $(shell test -x /usr/bin/python3 && echo /usr/bin/python3 || echo python3)

.PHONY: all deps configure build programs run check pytest test test-asan san-configure fuzz-build fuzz fuzz-smoke bench demo sweep reach clean

all: build

deps:
	@./scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# The programs a user runs (the window, the batch driver and the Python module), not
# the tests.
programs: configure
	@cmake --build $(BUILD) -j $(JOBS) --target programs

# Builds the programs and starts the window without the console waits;
# ./$(BUILD)/rollgrasp without options waits for its console keys as specified.
run: programs
	./$(BUILD)/rollgrasp --no-wait

# The unit and program tests of the normal build only (the Python tests are `make pytest`).
check: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) -LE python

# The Python module's tests with the module of $(BUILD); pytest's status 5 (no
# tests collected) fails like any other nonzero status.
pytest: build
	RG_BUILD_DIR=$(abspath $(BUILD)) $(PYTHON) -m pytest -q -p no:cacheprovider tests/python

# Every test: the normal build, the Python tests, a bounded fuzzing run, and the
# whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer.
test: check pytest fuzz-smoke test-asan

# One sanitizer build serves the whole suite and the fuzz targets: clang with
# AddressSanitizer, UndefinedBehaviorSanitizer and the fuzzer's coverage
# instrumentation, so the core is compiled once for both.
SAN = build-san
san-configure: deps
	@CXX=clang++ cmake -S . -B $(SAN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRG_FUZZ=ON -DRG_SANITIZE=ON >/dev/null

test-asan: san-configure
	@cmake --build $(SAN) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir $(SAN) --output-on-failure -j $(JOBS)

fuzz-build: san-configure
	@cmake --build $(SAN) -j $(JOBS) --target fuzz_keyboard fuzz_hand_file fuzz_batch_args

# Open-ended fuzzing; findings land in $(SAN)/findings (copy them to fuzz/regressions).
fuzz: fuzz-build
	@mkdir -p $(SAN)/corpus $(SAN)/findings
	./$(SAN)/fuzz_keyboard -artifact_prefix=$(SAN)/findings/ -max_len=4096 -timeout=60 \
	  $(SAN)/corpus fuzz/seeds fuzz/regressions

# Bounded, repeatable runs: fixed seed and number of inputs; the key sequences
# with their outputs read back (about 40 s, capped at 120 s), then hand files
# (about 5 s, capped at 60 s), then the batch driver's command lines (capped at 20 s).
fuzz-smoke: fuzz-build
	@rm -rf $(SAN)/corpus-smoke && mkdir -p $(SAN)/corpus-smoke $(SAN)/findings
	./$(SAN)/fuzz_keyboard -artifact_prefix=$(SAN)/findings/ -max_len=512 -timeout=60 \
	  -seed=1 -runs=$(FUZZ_RUNS) -max_total_time=120 -print_final_stats=1 \
	  $(SAN)/corpus-smoke fuzz/seeds fuzz/regressions
	@rm -rf $(SAN)/corpus-hand-smoke && mkdir -p $(SAN)/corpus-hand-smoke
	./$(SAN)/fuzz_hand_file -artifact_prefix=$(SAN)/findings/ -max_len=16384 -timeout=60 \
	  -seed=1 -runs=$(FUZZ_HAND_RUNS) -max_total_time=60 -print_final_stats=1 \
	  $(SAN)/corpus-hand-smoke hands fuzz/hand-files fuzz/hand-shapes
	@rm -rf $(SAN)/corpus-args-smoke && mkdir -p $(SAN)/corpus-args-smoke
	./$(SAN)/fuzz_batch_args -artifact_prefix=$(SAN)/findings/ -max_len=1024 -timeout=10 \
	  -seed=1 -runs=$(FUZZ_ARGS_RUNS) -max_total_time=20 -print_final_stats=1 \
	  $(SAN)/corpus-args-smoke fuzz/batch-args

bench: deps
	@cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DRG_BENCH=ON >/dev/null
	@cmake --build build-bench -j $(JOBS)
	@for b in build-bench/bench_*; do \
	  if [ "$$b" = build-bench/bench_display ]; then xvfb-run -a -s "-screen 0 1024x768x24" $$b --benchmark_repetitions=5 --benchmark_report_aggregates_only=true; \
	  elif [ "$$b" = build-bench/bench_plan ]; then $$b; \
	  else $$b --benchmark_repetitions=5 --benchmark_report_aggregates_only=true; fi; done
	$(PYTHON) bench/bench_state_output.py --build build-bench
	$(PYTHON) bench/bench_python.py --build build-bench
	$(PYTHON) bench/bench_sweep.py --build build-bench
	$(PYTHON) bench/bench_html_load.py --build build-bench

demo: build
	PYTHON=$(PYTHON) ./scripts/demo.sh $(BUILD)

# A 7 x 7 grid of start poses (3 turn keys apart) for the default and one other
# velocity on a local Dask cluster of two workers; the heat map goes to docs/.
sweep: build
	$(PYTHON) examples/sweep.py --grid 7x7 --spacing 3 --velocities ,Q --workers 2 \
	  --build $(BUILD) --csv docs/sweep.csv --png docs/sweep.png

# The reachability maps of hands 1-4 on the cylinder and on the sphere (a 13 x 17 grid
# of goal turns each, seed 23, 30000 rolling steps per goal) on a local Dask cluster of
# two workers, into docs/: the same build gives the same CSVs byte for byte.
reach: build
	$(PYTHON) examples/reach.py --all --workers 2 --build $(BUILD) --out-dir docs

clean:
	rm -rf $(BUILD) $(SAN) build-asan build-fuzz build-bench
