# The entry points of the README. Each installs what it needs first.
RELEASE_DIR ?= build/release
TEST_DIR ?= build/test
BENCH_DIR ?= build/bench
PACKAGE_DIR ?= build/package
JOBS ?= $(shell nproc)

.PHONY: run test bench package deps build format

run: build
	$(RELEASE_DIR)/src/app/lorvanel

build: deps
	cmake -S . -B $(RELEASE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLORVANEL_BUILD_TESTS=OFF
	cmake --build $(RELEASE_DIR) --target lorvanel -j $(JOBS)

test: deps
	cmake -S . -B $(TEST_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DLORVANEL_SANITIZE=ON
	cmake --build $(TEST_DIR) -j $(JOBS)
	cd $(TEST_DIR) && ctest --output-on-failure -j $(JOBS)

# The benchmarks alone: no test suite is built.
bench: deps
	cmake -S . -B $(BENCH_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DLORVANEL_BUILD_TESTS=OFF -DLORVANEL_BUILD_BENCH=ON
	cmake --build $(BENCH_DIR) --target lorvanel_benchmarks -j $(JOBS)

package: deps
	cmake -S . -B $(PACKAGE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DLORVANEL_BUILD_TESTS=OFF \
		-DLORVANEL_HARDEN=ON
	cmake --build $(PACKAGE_DIR) -j $(JOBS)
	cd $(PACKAGE_DIR) && cpack -G DEB

# Every tracked C++ file, by the project's .clang-format (the suite's FormatTest checks the same).
format:
	git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format -i --style=file

deps:
	bash scripts/install-deps.sh
