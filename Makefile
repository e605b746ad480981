# make run   - install what is missing, build, prepare the program folder, start the program
# make test  - install what is missing, build with sanitizers, run every test headless
# make bench - build optimised and run the benchmarks (the server engine's on a
#              private PostgreSQL cluster, scripts/pg-cluster.sh)
# make install PREFIX=/usr/local - build and install the program, tessary-mkdb,
#              the desktop entry, the icon and the AppStream metadata
# make fuzz  - build the fuzz targets with clang and libFuzzer and run each
#              for FUZZ_SECONDS (not part of make test, which replays their
#              seed inputs); new findings land in build-fuzz/findings/
# make clean - remove build folders (never the operator's card database)

BUILD      ?= build
TEST_BUILD ?= build-test
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
# The program folder: the program and, next to it, the operator's card
# database. It lives outside the build folders, so no build or clean touches it.
PROGRAM_DIR ?= program
PREFIX ?= /usr/local
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_TARGETS ?= xlsx csv xls sheetframe component picture

.PHONY: all deps build run test bench clean prepare install fuzz

all: build

deps:
	@sh scripts/install-deps.sh

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSARY_TESTS=OFF

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

# Creates cardinfo.mdb and namecard-b.mdb next to the program only when
# they are missing; an existing database is left as it is.
prepare: build
	@mkdir -p $(PROGRAM_DIR)
	cp -f $(BUILD)/bin/tessary $(PROGRAM_DIR)/tessary
	cp -f $(BUILD)/bin/tessary-sheet $(PROGRAM_DIR)/tessary-sheet
	$(BUILD)/bin/tessary-mkdb $(PROGRAM_DIR)

run: prepare
	$(PROGRAM_DIR)/tessary

$(TEST_BUILD)/CMakeCache.txt:
	cmake -S . -B $(TEST_BUILD) -DCMAKE_BUILD_TYPE=Debug -DTESSARY_SANITIZE=ON -DTESSARY_WERROR=ON -DTESSARY_BENCH=OFF

test: deps $(TEST_BUILD)/CMakeCache.txt
	cmake --build $(TEST_BUILD) -j $(JOBS)
	cd $(TEST_BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# The benchmarks find the private cluster through TESSARY_TEST_SERVER; it is
# stopped and removed when they end, however they end.
BENCH_PG_DIR ?= /tmp/tpg-bench-$(shell id -u)

bench: build
	@out=$$(TESSARY_PG_DURABLE=1 sh scripts/pg-cluster.sh start $(BENCH_PG_DIR)) || exit 1; eval "$$out"; \
	trap 'sh scripts/pg-cluster.sh stop "$$TESSARY_PG_DIR"' EXIT; trap 'exit 130' INT TERM; \
	for b in $(BUILD)/bin/bench_*; do echo "== $$b"; $$b || exit 1; done

# Each target runs on a corpus of its own in the build folder, seeded from
# fuzz/corpus/<target>; a crash, leak or hang stops the run and leaves the
# input in $(FUZZ_BUILD)/findings/ (add it to fuzz/corpus/<target> once
# fixed, so make test replays it).
fuzz:
	@sh scripts/install-deps.sh fuzz
	@test -f $(FUZZ_BUILD)/CMakeCache.txt || cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DCMAKE_CXX_COMPILER=clang++-14 -DTESSARY_FUZZ=ON -DTESSARY_SANITIZE=ON -DTESSARY_TESTS=OFF -DTESSARY_BENCH=OFF
	cmake --build $(FUZZ_BUILD) --target fuzz_targets -j $(JOBS)
	@mkdir -p $(FUZZ_BUILD)/findings
	@for t in $(FUZZ_TARGETS); do \
	    echo "== fuzz_$$t for $(FUZZ_SECONDS) s"; mkdir -p $(FUZZ_BUILD)/corpus/$$t; \
	    ASAN_OPTIONS=detect_leaks=1:print_suppressions=0 QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES="default.warning=false" $(FUZZ_BUILD)/bin/fuzz_$$t \
	        -max_total_time=$(FUZZ_SECONDS) -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
	        -artifact_prefix=$(FUZZ_BUILD)/findings/$$t- $(FUZZ_BUILD)/corpus/$$t fuzz/corpus/$$t || exit 1; \
	done

# Removes the build folders only; the program folder and its card database stay.
clean:
	rm -rf $(BUILD) $(TEST_BUILD) $(FUZZ_BUILD)
