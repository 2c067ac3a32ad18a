# Front door. `make test` and `make demo` work on a fresh Debian 12 machine.
PRESET ?= release
BUILD := build/$(PRESET)

.PHONY: all deps configure build test demo bench asan tsan win64 clean

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

# Ombrine.dll for 64-bit Windows hosts, cross-compiled with mingw-w64 (build/win64/).
win64: deps
	@cmake --preset win64 >/dev/null
	@cmake --build --preset win64

clean:
	rm -rf build
