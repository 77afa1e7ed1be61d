# Front door to the build. `make test` is what CI runs.
BUILD      ?= build
BUILD_ASAN ?= build-asan
CMAKE_ARGS ?=
JOBS       ?= $(shell nproc)

.PHONY: all setup configure build desktop test test-unit test-e2e test-asan run fuzz bench bench-http bench-rss bench-http-client bench-xbase bench-databases format clean help

all: build

help:
	@echo "make          build everything into $(BUILD)/"
	@echo "make test     install what is missing, build, run every test (CI)"
	@echo "make test-asan  every test under AddressSanitizer/LeakSanitizer/UBSan"
	@echo "make run      build and serve the example site"
	@echo "make desktop  build orin-desktop (needs Qt 6: scripts/setup.sh installs it)"
	@echo "make fuzz     build the libFuzzer targets with clang and run each briefly"
	@echo "make bench    build and run the benchmarks"
	@echo "make bench-xbase xBase tables and indexes against sqlite3 and python dbf"
	@echo "make bench-databases  10,000 SQLite inserts and finds: orin against PHP PDO and Python"
	@echo "make bench-http  requests per second: orin against nginx, php-fpm and php -S"
	@echo "make bench-rss   server memory over 100,000 mixed requests"
	@echo "make bench-http-client  2,000 ZtCALL GETs against PHP and Python clients"
	@echo "make test-e2e the end-to-end tests (real servers, curl, chromium)"
	@echo "make format   clang-format every source file"

setup:
	@./scripts/setup.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_ARGS)

configure: $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

desktop: configure
	cmake --build $(BUILD) -j $(JOBS) --target orin-desktop

test: setup build test-asan
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 600

test-unit: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) -L unit

test-e2e: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) -L e2e

# Every test again with AddressSanitizer, LeakSanitizer and UBSan: exact
# reference counting and bounds are checked here.
test-asan:
	@test -f $(BUILD_ASAN)/build.ninja || \
	  cmake -S . -B $(BUILD_ASAN) -G Ninja -DORIN_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug $(CMAKE_ARGS)
	cmake --build $(BUILD_ASAN) -j $(JOBS)
	cd $(BUILD_ASAN) && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j $(JOBS) --timeout 600

run: setup build
	@BUILD=$(BUILD) bash ./scripts/run_example.sh

fuzz:
	@./scripts/fuzz.sh

bench: build
	@./bench/run.sh

bench-xbase: build
	@BUILD=$(BUILD) ./bench/xbase/run.sh
	@BUILD=$(BUILD) ./bench/xbase/index_run.sh

bench-databases: build
	@/usr/bin/python3 bench/databases/bench.py $(BUILD) 10000

bench-http: setup build
	@BUILD=$(BUILD) STRACE=1 ./bench/http/run.sh

bench-rss: setup build
	@BUILD=$(BUILD) python3 ./bench/http/rss.py

bench-http-client: setup build
	@BUILD=$(BUILD) ./bench/http-client/run.sh

format:
	find src apps tools tests bench -name '*.cc' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(BUILD_ASAN) build-fuzz
