# Front door. `make test` and `make demo` work on a fresh Debian 12 machine.
PRESET ?= release
BUILD := build/$(PRESET)

.PHONY: all deps configure build test demo bench asan tsan clean

all: build

deps:
	@./scripts/deps.sh

configure: deps
	@cmake --preset $(PRESET) >/dev/null

build: configure
	@cmake --build --preset $(PRESET)

test: build
	@ctest --preset $(PRESET)

demo: build
	@./scripts/demo.sh $(BUILD)

bench: build
	@./scripts/bench.sh $(BUILD)

asan:
	@$(MAKE) --no-print-directory test PRESET=asan

tsan:
	@$(MAKE) --no-print-directory test PRESET=tsan

clean:
	rm -rf build
