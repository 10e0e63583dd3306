# Front door: `make test` and `make demo` do all the set-up on a fresh Debian 12 machine.
BUILD    ?= build
ASAN     ?= build-asan
FUZZ     ?= build-fuzz
JOBS     ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps validator configure build install test asan fuzz fuzz-run bench demo measure clean

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

test: build validator
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# AddressSanitizer + UndefinedBehaviorSanitizer build of the whole tree and its tests.
asan:
	@./scripts/deps.sh --sanitize
	cmake -S . -B $(ASAN) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSYV_SANITIZE=ON -DSYV_BENCH=OFF \
	  -DCMAKE_CXX_COMPILER=clang++
	cmake --build $(ASAN) -j $(JOBS)
	cd $(ASAN) && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j $(JOBS)

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

# Converts a sample plant to out/ and prints its statistics.
DEMO_PLANT ?= $(or $(wildcard examples/oak.syv),$(firstword $(wildcard examples/*.syv)),tests/data/app_plant.syv)
DEMO_OUT   ?= out/$(basename $(notdir $(DEMO_PLANT))).glb
demo: build
	@mkdir -p $(dir $(DEMO_OUT))
	$(BUILD)/bin/syvimport $(DEMO_PLANT) -o $(DEMO_OUT) --stats
	@echo "Wrote $(DEMO_OUT)"

# Whole-process time of syvimport on the large example, import only and per format,
# with the import/export split the statistics report.
MEASURE_PLANT ?= examples/oak.syv
measure: build
	@plant=$(MEASURE_PLANT); \
	mkdir -p out; echo "plant: $$plant ($$(wc -c < $$plant) bytes)"; \
	for f in stats glb gltf obj fbx; do \
	  if [ $$f = stats ]; then args="--stats"; else args="-o out/measure.$$f --stats"; fi; \
	  start=$$(date +%s.%N); $(BUILD)/bin/syvimport $$plant $$args --quiet > out/measure-$$f.json || exit 1; \
	  end=$$(date +%s.%N); \
	  split=$$(tr -d ' \n' < out/measure-$$f.json | sed -n 's/.*"triangles":\([0-9]*\),"vertices".*"import":\([^,]*\),"export":\([^}]*\)}.*/triangles \1, import \2 s, export \3 s/p'); \
	  awk -v s=$$start -v e=$$end -v f=$$f -v x="$$split" 'BEGIN { printf "%-5s wall %.3f s; %s\n", f, e - s, x }'; \
	done

bench: build
	$(BUILD)/bin/syv_bench

clean:
	rm -rf $(BUILD) $(ASAN) $(FUZZ)
