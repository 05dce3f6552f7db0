# The two commands a newcomer needs: `make demo` and `make test`.
BUILD ?= build
JOBS  ?= $(shell nproc)

.PHONY: all deps configure build test bench demo screenshot clean

all: build

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	@cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# The window against the simulated controller (under Xvfb with a screenshot when there is no
# display).
demo: build
	@scripts/demo $(BUILD)

# The README's picture of the running window.
screenshot: build
	@DEMO_HEADLESS=1 scripts/demo $(BUILD) docs/screenshot.png

bench: build
	@for b in $(BUILD)/bin/bench_*; do echo "== $$b"; $$b; done

clean:
	rm -rf $(BUILD)
