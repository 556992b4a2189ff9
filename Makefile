# make run   - installs what is missing, builds and starts Korvani
# make test  - installs what is missing, builds and runs the whole test suite headless,
#              fuzzes the file and text readers for a bounded time, then runs the suite
#              again built with AddressSanitizer and UndefinedBehaviorSanitizer
# make fuzz  - builds the libFuzzer targets with clang and runs each for FUZZ_SECONDS
# make bench - builds in release mode and runs the benchmarks
# make conformance - compares the profile functions with the Windows ones (under Wine)
BUILD      ?= build
ASAN_BUILD ?= build-asan
BENCH_BUILD ?= build-bench
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 15
JOBS       ?= $(shell nproc)
CTEST_ENV  := QT_QPA_PLATFORM=offscreen
SAN_ENV    := ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
              LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
              UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

.PHONY: deps build run test test-plain test-sanitized fuzz bench conformance clean

deps:
	@bash scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVANI_WERROR=ON
	cmake --build $(BUILD) -j$(JOBS)

run: build
	cd $(BUILD)/bin && ./Korvani

test: deps
	$(MAKE) test-plain
	$(MAKE) fuzz
	$(MAKE) test-sanitized

test-plain:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVANI_WERROR=ON
	cmake --build $(BUILD) -j$(JOBS)
	cd $(BUILD) && $(CTEST_ENV) ctest --output-on-failure -j$(JOBS)

test-sanitized:
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DKORVANI_WERROR=ON -DKORVANI_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j$(JOBS)
	cd $(ASAN_BUILD) && $(CTEST_ENV) $(SAN_ENV) ctest --output-on-failure -j$(JOBS)

fuzz: deps
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	      -DKORVANI_WERROR=ON -DKORVANI_TESTS=OFF -DKORVANI_FUZZ=ON
	cmake --build $(FUZZ_BUILD) --target korvani_fuzzers -j$(JOBS)
	bash tests/fuzz/run-fuzzers.sh $(FUZZ_BUILD)/tests/fuzz $(FUZZ_SECONDS)

bench: deps
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DKORVANI_TESTS=OFF -DKORVANI_BENCH=ON
	cmake --build $(BENCH_BUILD) -j$(JOBS)
	cd $(BENCH_BUILD) && QT_QPA_PLATFORM=offscreen ./bench/korvani_bench

conformance: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVANI_WERROR=ON
	cmake --build $(BUILD) --target conformance_driver -j$(JOBS)
	bash tests/conformance/run-conformance.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(BENCH_BUILD) $(FUZZ_BUILD)
