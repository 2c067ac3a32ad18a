# Front door. `make test` and `make demo` work on a fresh Debian 12 machine.
PRESET ?= release
BUILD := build/$(PRESET)

.PHONY: all deps configure build test demo docs bench asan tsan win64 install clean

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

# The user guide's pictures (docs/images/), measured from the built module.
docs: build
	@./scripts/docs.sh $(BUILD)

# BASELINE=path/to/an/older/Ombrine.so measures that build in the same rounds, for a ratio.
bench: build
	@./scripts/bench.sh $(BUILD) $(if $(BASELINE),--baseline "$(BASELINE)")

asan:
	@$(MAKE) --no-print-directory test PRESET=asan

tsan:
	@$(MAKE) --no-print-directory test PRESET=tsan

# Ombrine.dll for 64-bit Windows hosts, cross-compiled with mingw-w64 (build/win64/).
win64: deps
	@cmake --preset win64 >/dev/null
	@cmake --build --preset win64

# Both Linux formats into the per-user folders hosts scan: the VST 2.4 module into ~/.vst with its
# factory presets beside it in "Ombrine Presets", and the LV2 bundle into ~/.lv2
# (VST_DIR=... LV2_DIR=... to choose others).
VST_DIR ?= $(HOME)/.vst
LV2_DIR ?= $(HOME)/.lv2
install: build
	@mkdir -p "$(VST_DIR)/Ombrine Presets" "$(LV2_DIR)"
	@install -m 755 $(BUILD)/Ombrine.so "$(VST_DIR)/Ombrine.so"
	@install -m 644 $(BUILD)/presets/*.fxp "$(VST_DIR)/Ombrine Presets/"
	@rm -rf "$(LV2_DIR)/Ombrine.lv2.new" && cp -R $(BUILD)/Ombrine.lv2 "$(LV2_DIR)/Ombrine.lv2.new"
	@rm -rf "$(LV2_DIR)/Ombrine.lv2" && mv "$(LV2_DIR)/Ombrine.lv2.new" "$(LV2_DIR)/Ombrine.lv2"
	@echo "Installed $(VST_DIR)/Ombrine.so, its presets in $(VST_DIR)/Ombrine Presets and $(LV2_DIR)/Ombrine.lv2"

clean:
	rm -rf build
