# Entry points: `make demo` and `make test` work on a fresh machine; both install what is missing.
BUILD_DIR ?= build
SANITIZE_DIR ?= build-sanitize
FUZZ_DIR ?= build-fuzz
# Executions per fuzz target for `make fuzz`; FUZZ_FLAGS adds libFuzzer options (-max_total_time=S).
FUZZ_RUNS ?= 1000000
FUZZ_FLAGS ?=
CMAKE_FLAGS ?=

.PHONY: all build test test-data test-sanitize test-thread test-workflow coverage fuzz fuzz-build demo report-check workflow-demo bench bench-large deps format clean

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

# The Snakemake workflow of workflow/ on the lambda phage genome in 4 shards, against one run on the
# same input; bad inputs and a failing shard must stop it (scripts/test-workflow.sh).
test-workflow: build
	@scripts/test-workflow.sh $(BUILD_DIR)

# Which source lines the tests reach (clang source-based coverage, in build-coverage/): a summary per
# file, and the list of reached lines that scripts/test-coverage.sh --compare checks a change against.
coverage: deps test-data
	@scripts/test-coverage.sh build-coverage

# The FASTQ and sequence file requests on two threads under ThreadSanitizer (clang, with its
# OpenMP race tool), in build-thread/.
test-thread: build
	@fuzz/install-tools.sh
	@scripts/thread-sanitize.sh $(BUILD_DIR) build-thread

# The libFuzzer targets of fuzz/ (clang, AddressSanitizer and UBSan), each run over its seed corpus
# for FUZZ_RUNS executions, one target after the other (README.md, Fuzzing). Assertions stay on, and
# line tables are enough for the sanitizers' reports.
fuzz-build: deps
	@fuzz/install-tools.sh
	@cmake -S . -B $(FUZZ_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
		-DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only" -DKORU_FUZZ=ON -DKORU_BUILD_TESTS=OFF >/dev/null
	@ninja -C $(FUZZ_DIR) koru_fuzz_targets

fuzz: fuzz-build
	@fuzz/run.sh $(FUZZ_DIR) -runs=$(FUZZ_RUNS) $(FUZZ_FLAGS)

bench: build
	@scripts/bench.sh $(BUILD_DIR)

# koru against minimap2 and snap-aligner on human-like genomes of 400 Mbase and 3.1 Gbase, which
# takes a while; scripts/bench-large.sh $(BUILD_DIR) 400 runs the small one alone.
bench-large: build
	@scripts/bench-large.sh $(BUILD_DIR)

demo: build
	@scripts/demo.sh $(BUILD_DIR)

# The demo's library report in headless Chromium: screenshot, plots, width and A4 print.
report-check: build
	@scripts/report-check.sh $(BUILD_DIR)

# The workflow, locally: 20,000 lambda phage pairs in 4 shards with snakemake --cores 2.
workflow-demo: build
	@scripts/workflow-demo.sh $(BUILD_DIR)

format:
	@clang-format -i $$(git ls-files 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'bench/*.cpp') fuzz/*.cpp fuzz/*.h

clean:
	@rm -rf $(BUILD_DIR) $(SANITIZE_DIR) $(FUZZ_DIR) build-thread build-coverage workflow-demo
