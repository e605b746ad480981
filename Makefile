# make run   - install what is missing, build, prepare the program folder, start the program
# make test  - install what is missing, build with sanitizers, run every test headless
# make bench - build optimised and run the benchmarks (the server engine's on a
#              private PostgreSQL cluster, scripts/pg-cluster.sh)
# make install PREFIX=/usr/local - build and install the program, tessary-mkdb,
#              the desktop entry, the icon and the AppStream metadata
# make clean - remove build folders (never the operator's card database)

BUILD      ?= build
TEST_BUILD ?= build-test
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
# The program folder: the program and, next to it, the operator's card
# database. It lives outside the build folders, so no build or clean touches it.
PROGRAM_DIR ?= program
PREFIX ?= /usr/local

.PHONY: all deps build run test bench clean prepare install

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

# Removes the build folders only; the program folder and its card database stay.
clean:
	rm -rf $(BUILD) $(TEST_BUILD)
