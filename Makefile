# Entry points: `make demo` and `make test` work on a fresh machine; both install what is missing.
BUILD_DIR ?= build
SANITIZE_DIR ?= build-sanitize
CMAKE_FLAGS ?=

.PHONY: all build test test-data test-sanitize demo bench bench-large deps format clean

all: build

deps:
	@scripts/install-dependencies.sh

build: deps
	@cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS) >/dev/null
	@ninja -C $(BUILD_DIR)

test: build test-data
	@ctest --test-dir $(BUILD_DIR) --output-on-failure -j2

# The E. coli genome of the end-to-end tests, fetched once from Debian's bowtie-examples package.
test-data: deps
	@scripts/fetch-ecoli.sh bench-output/data >/dev/null

# The unit and end-to-end tests again under AddressSanitizer and UndefinedBehaviorSanitizer.
test-sanitize: deps test-data
	@cmake -S . -B $(SANITIZE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORU_SANITIZE=ON >/dev/null
	@ninja -C $(SANITIZE_DIR)
	@ctest --test-dir $(SANITIZE_DIR) --output-on-failure -j2

bench: build
	@scripts/bench.sh $(BUILD_DIR)

# koru against minimap2 and snap-aligner on human-like genomes of 400 Mbase and 3.1 Gbase, which
# takes a while; scripts/bench-large.sh $(BUILD_DIR) 400 runs the small one alone.
bench-large: build
	@scripts/bench-large.sh $(BUILD_DIR)

demo: build
	@scripts/demo.sh $(BUILD_DIR)

format:
	@clang-format -i $$(git ls-files 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'bench/*.cpp')

clean:
	@rm -rf $(BUILD_DIR) $(SANITIZE_DIR)
