# SPDX-License-Identifier: Apache-2.0
# Copyright Huecast contributors
#
# The README's commands. Every target installs what it needs first (scripts/deps).

JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 60
FUZZ_WORK := build/fuzz-work
TOOL_RELEASE := build/release/tools/huecast/huecast

.PHONY: all deps demo build test test-dev test-asan test-unsanitized package fuzz bench format format-check check-layers tidy clean

all: build

deps:
	./scripts/deps

# The main job: the bundled sample clip graded through a bundled LUT, and a before/after image
# of its first frame. The sample LUTs go into the LUT library first, so --lut finds them by name
# (and the README's --lut examples work as written).
DEMO := build/demo
demo: deps
	cmake --preset release
	cmake --build --preset release -j $(JOBS) --target huecast
	rm -rf $(DEMO)
	$(TOOL_RELEASE) library --add samples/luts/*.cube
	$(TOOL_RELEASE) render --lut HighContrast 'samples/clip/clip.####.png' -o $(DEMO)/clip
	oiiotool samples/clip/clip.0001.png $(DEMO)/clip/clip.0001.png --mosaic 2x1 \
		-o $(DEMO)/before-after.png
	@echo "demo: graded frames in $(DEMO)/clip/, first frame before and after in $(DEMO)/before-after.png"

build: deps
	cmake --preset dev
	cmake --build --preset dev -j $(JOBS)

# Every test under AddressSanitizer + UBSan, and from the dev build the one that caps its own
# address space, which the sanitizers can't run under. Running the whole suite a second time
# without sanitizers adds no coverage; `make test-dev` still does it.
test: deps format-check check-layers test-asan test-unsanitized

test-dev:
	cmake --preset dev
	cmake --build --preset dev -j $(JOBS)
	ctest --preset dev || { ./scripts/failed-tests build/dev; exit 1; }

test-asan:
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan || { ./scripts/failed-tests build/asan; exit 1; }

test-unsanitized:
	cmake --preset dev
	cmake --build --preset dev -j $(JOBS) --target FrameFilesTest
	ctest --preset dev -L unsanitized || { ./scripts/failed-tests build/dev; exit 1; }

# The Debian package, build/package/huecast_<version>_<arch>.deb, checked by lintian.
package: deps
	cmake --preset package
	cmake --build --preset package -j $(JOBS)
	cpack --preset package
	lintian --fail-on error --tag-display-limit 0 build/package/huecast_*.deb
	@echo "package: $$(ls build/package/huecast_*.deb)"

# Each fuzz target for FUZZ_SECONDS, seeded from the committed corpus and fixtures.
fuzz: deps
	cmake --preset fuzz
	cmake --build --preset fuzz -j $(JOBS) --target CubeReaderFuzzer ArchiveFuzzer ProjectFuzzer FrameFileFuzzer \
		make_archive_seeds make_project_seeds
	./fuzz/run-all build/fuzz $(FUZZ_WORK) $(FUZZ_SECONDS)

bench: deps
	cmake --preset release
	cmake --build --preset release -j $(JOBS)
	build/release/bench/huecast_bench --benchmark_repetitions=9 \
		--benchmark_report_aggregates_only=true
	build/release/bench/huecast_render_bench --benchmark_repetitions=5 \
		--benchmark_report_aggregates_only=true
	./bench/peers.sh $(TOOL_RELEASE)

format:
	git ls-files '*.h' '*.cpp' | xargs clang-format -i

format-check:
	git ls-files '*.h' '*.cpp' | xargs clang-format --dry-run --Werror

# No folder includes from a layer above its own (docs/architecture.md).
check-layers:
	./scripts/check-layers

tidy: deps
	cmake --preset tidy
	cmake --build --preset tidy -j $(JOBS)

clean:
	rm -rf build
