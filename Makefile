# The two set-up commands are `make demo` and `make test`; both install what is missing.
BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
PREFIX     ?= /usr/local
JOBS       ?= $(shell nproc)
FUZZ_SECONDS ?= 30

CONFIGURE = cmake -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: deps build demo test asan bench fuzz install clean

deps:
	@scripts/install-deps

$(BUILD)/build.ninja: | deps
	$(CONFIGURE) -S . -B $(BUILD)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	$(BUILD)/bin/velmoro demo out --examples examples

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

asan: deps
	$(CONFIGURE) -S . -B $(ASAN_BUILD) -DVELMORO_SANITIZE=ON -DVELMORO_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS)

bench: build
	@for b in $(BUILD)/bench/*; do [ -f "$$b" ] && [ -x "$$b" ] || continue; "$$b" || exit 1; done

fuzz: deps
	CC=clang CXX=clang++ $(CONFIGURE) -S . -B $(FUZZ_BUILD) -DVELMORO_FUZZ=ON \
	  -DVELMORO_TESTS=OFF -DVELMORO_BENCH=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_all
	@for f in $(FUZZ_BUILD)/fuzz/fuzz_*; do \
	  name=$$(basename $$f); corpus=tests/fuzz/corpus/$${name#fuzz_}; \
	  echo "== $$name ($(FUZZ_SECONDS)s)"; mkdir -p $(FUZZ_BUILD)/found/$$name; \
	  $$f -max_total_time=$(FUZZ_SECONDS) $(FUZZ_BUILD)/found/$$name $$corpus || exit 1; \
	done

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) out
