# The commands a user needs: `make run`, `make test` and `make package`.
BUILD_DIR ?= build
CMAKE_FLAGS ?=
# Two build jobs keep a shared or small machine usable; override with JOBS=n.
JOBS ?= 2
# Messages in the store that `make bench` converts (made once under the build folder).
BENCH_MESSAGES ?= 100000

.PHONY: run test build programs package deps configure bench measure-setup clean windows-deps windows-smoke windows test-windows

# The Debian packages to ask for (scripts/deps.sh): `make run` needs only the window's;
# a target below names more for itself and for the steps it depends on.
DEPS = window
build test bench: DEPS = window test package
package: DEPS = window package

deps:
	@bash scripts/deps.sh $(DEPS)

configure: deps
	@cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null

# Only what the package holds: the window, vantorel-convert and pst-verify.
programs: configure
	@cmake --build $(BUILD_DIR) --target programs --parallel $(JOBS)

# Everything ctest runs as well.
build: configure
	@cmake --build $(BUILD_DIR) --parallel $(JOBS)

run: programs
	@bash scripts/run.sh $(BUILD_DIR)/bin/vantorel

test: build
	@cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure --no-tests=error --parallel $(JOBS)

package: programs
	@cd $(BUILD_DIR) && cpack -G DEB

bench: build
	@cmake --build $(BUILD_DIR) --target benchmarks --parallel $(JOBS)
	@VANTOREL_BENCH_MESSAGES=$(BENCH_MESSAGES) bash bench/run-all.sh $(BUILD_DIR)

# Times `make programs` and `make test` in a fresh clone, for the README's figures.
measure-setup:
	@bash scripts/measure-setup.sh

# The Windows libraries (zlib, iconv, libffi, pcre2, libintl, GLib, GMime), cross-built
# once from Debian's sources into ~/.cache/vantorel/mingw/<recipe hash>.
windows-deps:
	@JOBS=$(JOBS) bash scripts/windows/build-deps.sh >/dev/null

# A GMime program built for Windows reads the corpus under Wine as Linux does.
windows-smoke: windows-deps
	@bash scripts/windows/smoke.sh

# vantorel-convert.exe, pst-verify.exe and vantorel-reader.exe with their DLLs in
# build-windows/bin/, packed as build-windows/vantorel-<version>-windows-x64.zip.
windows: windows-deps
	@JOBS=$(JOBS) bash scripts/windows/build.sh

# The Windows programs under Wine convert the corpus given as a Windows path; the PST is
# read back on Linux and compared with the Linux build's, message by message.
test-windows: windows programs
	@bash scripts/windows/test.sh $(BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR)
