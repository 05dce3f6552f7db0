# The two commands a newcomer needs: `make demo` and `make test`.
BUILD ?= build
JOBS  ?= $(shell nproc)
# The fuzz targets (clang, libFuzzer) and the sanitizer build of the test suite have build
# directories of their own.
FUZZ_BUILD         ?= build-fuzz
FUZZ_SECONDS       ?= 60
FUZZ_SMOKE_SECONDS ?= 5
ASAN_BUILD         ?= build-asan
FUZZ_TARGETS := $(notdir $(wildcard tests/fuzz/corpus/fuzz_*))

.PHONY: all deps configure build test package manual bench demo screenshot clean fuzz-build fuzz test-asan

all: build

deps:
	@scripts/install-deps

# Warnings are errors in the builds that make test runs (WERROR=OFF to look past them).
WERROR ?= ON

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTORVEX_WERROR=$(WERROR)

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# Every test (the package's among them), then each fuzz target for a few seconds over its seed
# corpus.
test: build package fuzz-build
	@cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)
	@cd $(FUZZ_BUILD) && ctest --output-on-failure -j $(JOBS)

# The operator's manual: $(BUILD)/packaging/torvex-tp-manual-ru.pdf.
manual: configure
	@cmake --build $(BUILD) --target manual
	@echo "manual: $(BUILD)/packaging/torvex-tp-manual-ru.pdf"

# The Debian package: $(BUILD)/torvex-tp_<version>_<architecture>.deb.
package: build
	@cmake --build $(BUILD) --target package

fuzz-build: deps
	@cmake -S . -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=clang++ -DTORVEX_FUZZ=ON \
	  -DTORVEX_FUZZ_SMOKE_SECONDS=$(FUZZ_SMOKE_SECONDS) -DTORVEX_WERROR=$(WERROR)
	@cmake --build $(FUZZ_BUILD) --target fuzzers -j $(JOBS)

# Each fuzz target for FUZZ_SECONDS (make fuzz FUZZ_SECONDS=600); what they find is kept in
# $(FUZZ_BUILD)/fuzz-corpus for the next run.
fuzz: fuzz-build
	@for t in $(FUZZ_TARGETS); do tests/fuzz/run $(FUZZ_BUILD) $$t $(FUZZ_SECONDS) || exit 1; done

# The whole test suite, the tool and the simulator built with AddressSanitizer (leaks included)
# and UndefinedBehaviorSanitizer; any report fails its test.
test-asan: deps
	@cmake -S . -B $(ASAN_BUILD) -DTORVEX_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	@cd $(ASAN_BUILD) && QT_QPA_PLATFORM=offscreen \
	  ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1:strict_init_order=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j $(JOBS)

# The window against the simulated controller (under Xvfb with a screenshot when there is no
# display).
demo: build
	@scripts/demo $(BUILD)

# The README's pictures: the running window, the exchange monitor beside it on a line with
# now and then a silence, a spoiled answer and a refused request, and the trends window; and
# the manual's pictures of the settings dialog, two menus and a finished checkout.
screenshot: build
	@DEMO_HEADLESS=1 scripts/demo $(BUILD) docs/screenshot.png
	@DEMO_HEADLESS=1 DEMO_SCREEN=2200x800 DEMO_TOOL_OPTIONS=--monitor \
	  DEMO_SIM_OPTIONS="--silent-every 13 --corrupt-every 17 --exception 101:3" \
	  scripts/demo $(BUILD) docs/monitor.png
	@DEMO_HEADLESS=1 DEMO_TRENDS=1 DEMO_SECONDS=45 scripts/demo $(BUILD) docs/trends.png
	@cmake --build $(BUILD) --target manual_pictures
	@mkdir -p docs/manual/img
	@TORVEX_PICTURES=$(CURDIR)/docs/manual/img QT_QPA_PLATFORM=offscreen $(BUILD)/tests/manual_pictures

bench: build
	@for b in $(BUILD)/bin/bench_*; do echo "== $$b"; $$b; done

clean:
	rm -rf $(BUILD) $(FUZZ_BUILD) $(ASAN_BUILD)
