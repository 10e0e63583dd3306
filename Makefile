# Front door: `make test` and `make demo` do all the set-up on a fresh Debian 12 machine.
BUILD    ?= build
ASAN     ?= build-asan
FUZZ     ?= build-fuzz
COV      ?= build-cov
JOBS     ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps validator blender-deps configure build install test asan fuzz fuzz-run bench demo measure coverage lines clean \
        blender-addon install-blender-addon

all: build

deps:
	@./scripts/deps.sh

# The pinned gltf-validator (tools/validator) that the converter's tests use.
validator:
	@./scripts/deps.sh --validator

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DSYV_WERROR=ON $(CMAKE_FLAGS)

configure: deps $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# bin/syvimport and lib/syvimport/ under PREFIX; the tree can be copied anywhere.
PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# Blender for the add-on's tests.
blender-deps:
	@./scripts/deps.sh --blender

test: build validator blender-deps
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# AddressSanitizer + UndefinedBehaviorSanitizer build of the whole tree and its tests.
asan:
	@./scripts/deps.sh --sanitize
	cmake -S . -B $(ASAN) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSYV_SANITIZE=ON -DSYV_BENCH=OFF \
	  -DCMAKE_CXX_COMPILER=clang++
	cmake --build $(ASAN) -j $(JOBS)
	cd $(ASAN) && ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp ctest --output-on-failure -j $(JOBS)

# Line coverage of core/, host/ and app/ by the whole test suite (gcovr), from an
# unoptimised instrumented build in build-cov/. A failing test still counts its lines.
coverage:
	@./scripts/deps.sh --coverage
	cmake -S . -B $(COV) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSYV_BENCH=OFF -DCMAKE_CXX_FLAGS=--coverage
	cmake --build $(COV) -j $(JOBS)
	find $(COV) -name '*.gcda' -delete
	cd $(COV) && ctest -j $(JOBS) -E '^Hostile' >ctest.log || echo "coverage: some tests failed, see $(COV)/ctest.log"
	gcovr --root . --object-directory $(COV) -j $(JOBS) --filter 'core/' --filter 'host/' --filter 'app/' \
	  --exclude-unreachable-branches --print-summary --txt $(COV)/coverage.txt | tail -3

# Lines of code and of tests, C++ and Python alike (scripts/line_counts.py says which is which).
lines:
	@python3 scripts/line_counts.py

# libFuzzer targets (clang), with ASan+UBSan.
fuzz:
	@./scripts/deps.sh --sanitize
	cmake -S . -B $(FUZZ) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSYV_SANITIZE=ON -DSYV_FUZZ=ON \
	  -DSYV_BENCH=OFF -DCMAKE_CXX_COMPILER=clang++
	cmake --build $(FUZZ) -j $(JOBS) --target fuzz_reader fuzz_expression fuzz_import fuzz_convert

# Runs every fuzz target in turn for SECONDS each, growing fuzz/corpus/<target>
# (seeded from examples/ and tests/data/); findings land in $(FUZZ)/findings.
# Keep the corpus small afterwards: fuzz_T -merge=1 NEW fuzz/corpus/T, then NEW replaces it.
SECONDS ?= 60
FUZZ_FLAGS ?= -rss_limit_mb=2048 -malloc_limit_mb=1024 -timeout=10 -dict=fuzz/syv.dict
fuzz-run: fuzz
	@mkdir -p $(FUZZ)/findings
	@for t in reader expression import convert; do \
	  mkdir -p fuzz/corpus/$$t; \
	  seeds=""; [ $$t = import -o $$t = convert ] && seeds="examples tests/data"; \
	  echo "== fuzz_$$t for $(SECONDS) s"; \
	  $(FUZZ)/bin/fuzz_$$t fuzz/corpus/$$t $$seeds $(FUZZ_FLAGS) -max_total_time=$(SECONDS) \
	    -artifact_prefix=$(FUZZ)/findings/$$t- -print_final_stats=1 || exit 1; \
	done

# Converts a sample plant to out/, renders its picture and prints its statistics.
DEMO_PLANT ?= $(or $(wildcard examples/oak.syv),$(firstword $(wildcard examples/*.syv)),tests/data/app_plant.syv)
DEMO_OUT   ?= out/$(basename $(notdir $(DEMO_PLANT))).glb
DEMO_PNG   ?= $(basename $(DEMO_OUT)).png
demo: build
	@mkdir -p $(dir $(DEMO_OUT))
	$(BUILD)/bin/syvimport $(DEMO_PLANT) -o $(DEMO_OUT) --preview $(DEMO_PNG) --stats
	@echo "Wrote $(DEMO_OUT) and its picture $(DEMO_PNG)"

# Whole-process speed and memory of syvimport on generated plants, per format,
# with the import's stages (bench/README.md). E.g. MEASURE_ARGS="--plants tree5 -n 5".
MEASURE_ARGS ?=
measure: build
	python3 bench/measure.py --bin $(BUILD)/bin $(MEASURE_ARGS)

# The Blender add-on with this build's syvimport and plug-in, and its installation
# into the current user's Blender (kept preferences, add-on enabled).
ADDON_ZIP = $(abspath $(BUILD))/sylvo_import.zip
blender-addon: build
	@echo "Built $(ADDON_ZIP)"

install-blender-addon: blender-addon blender-deps
	blender -b --python-exit-code 1 --python-expr "import bpy; \
	  bpy.ops.preferences.addon_install(filepath='$(ADDON_ZIP)', overwrite=True); \
	  bpy.ops.preferences.addon_enable(module='sylvo_import'); bpy.ops.wm.save_userpref()"

bench: build
	$(BUILD)/bin/syv_bench

clean:
	rm -rf $(BUILD) $(ASAN) $(FUZZ) $(COV)
