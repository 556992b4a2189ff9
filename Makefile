# make run   - installs what is missing, builds and starts Korvani
# make test  - installs what is missing, checks the format of the C and C++ files (make
#              format-check), builds and runs the whole test suite headless, fuzzes the file
#              and text readers for a bounded time, then runs the suite again built with
#              AddressSanitizer and UndefinedBehaviorSanitizer
# make format-check - clang-format --dry-run -Werror over the tracked C and C++ files
# make fuzz  - builds the libFuzzer targets with clang and runs each for FUZZ_SECONDS
# make bench - builds in release mode and runs the benchmarks
# make bench-windows - cross-builds the benchmark and pairs the run with an ideal writer under
#                      Wine on Xvfb (BENCH_WINDOWS_ADDRESSES addresses a run, default 10^8)
# make conformance - compares the profile functions, built for Linux and for Windows, with the
#                    Windows ones (under Wine)
# make faults - runs the settings writer and the generation run under injected failures
#               (libfiu, strace) and checks that every file stays whole; as root, also the
#               settings writer on the file systems users have (loop images, FUSE, no /proc)
# make package       - builds the Debian source package and, with dpkg-buildpackage (debian/,
#                      the test suite included), build-package/korvani_<version>_<arch>.deb
# make package-check - makes the package, checks it with lintian and the desktop validators,
#                      and builds it again from the source package with reprotest's
#                      variations (make reprotest): the same bytes
# make install       - builds in release mode and installs under PREFIX (default /usr/local),
#                      below DESTDIR when given
# make check-debian13 - make test, package-check, the package run, on a fresh Debian 13 (as root)
# make debian-check  - Debian's checks of the packages of Debian 12 and 13 (as root): blhc on
#                      the build logs, autopkgtest (debian/tests) on the installed package,
#                      piuparts (install, purge, install again; an upgrade from an older build)
# make reprotest     - makes the package and builds it again from the source package with
#                      reprotest's variations: the same bytes (package-check without the checkers)
# make windows       - cross-builds Korvani for 64-bit Windows with MinGW-w64 against a static
#                      Qt (built once from Debian's qt6-base source into ~/.cache/korvani) and
#                      writes build-windows/korvani-<version>-windows-x64.zip and the installer
#                      build-windows/korvani-<version>-setup-x64.exe (NSIS)
# make reproducible  - builds the Windows zip again in another folder: the same bytes
# make test-windows  - cross-builds the test programs and runs them under Wine, then drives
#                      Korvani.exe under Wine on a virtual display (Xvfb, xdotool), from the
#                      zip and installed by the installer (install, upgrade, uninstall)
BUILD      ?= build
ASAN_BUILD ?= build-asan
BENCH_BUILD ?= build-bench
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 15
PACKAGE_BUILD ?= build-package
INSTALL_BUILD ?= build-install
WINDOWS_BUILD ?= build-windows
BENCH_WINDOWS_ADDRESSES ?= 100000000
WINDOWS_DEPS := cmake make ninja-build dpkg-dev g++-mingw-w64-x86-64-posix qt6-base-dev \
                qt6-base-dev-tools googletest wine64 python3 fonts-dejavu-core nsis
# What the settings writer's file-system check mounts (as root): loop images, FUSE, sshfs.
FILE_SYSTEM_DEPS := xfsprogs btrfs-progs dosfstools exfatprogs exfat-fuse fusefat ntfs-3g bindfs \
                    sshfs openssh-server fuse3
PREFIX     ?= $(or $(CMAKE_INSTALL_PREFIX),/usr/local)
JOBS       ?= $(shell nproc)
CTEST_ENV  := QT_QPA_PLATFORM=offscreen
SAN_ENV    := ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
              LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
              UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

.PHONY: deps build run test format-check test-plain test-sanitized fuzz bench conformance faults package package-check install check-debian13 debian-check reprotest clean \
        windows windows-configure test-windows bench-windows reproducible

# A release build in folder $(1) for the install prefix $(2), with Debian's hardening flags.
define release_build
	cmake -S . -B $(1) -DCMAKE_BUILD_TYPE=Release -DKORVANI_WERROR=ON -DKORVANI_TESTS=OFF \
	      -DCMAKE_INSTALL_PREFIX=$(2) -DCMAKE_INSTALL_LIBDIR=lib \
	      -DCMAKE_CXX_FLAGS="$$(dpkg-buildflags --get CPPFLAGS) $$(dpkg-buildflags --get CXXFLAGS)" \
	      -DCMAKE_EXE_LINKER_FLAGS="$$(dpkg-buildflags --get LDFLAGS)"
	cmake --build $(1) -j$(JOBS)
endef
install: export DEB_BUILD_MAINT_OPTIONS := hardening=+all
# The Windows build carries the time of the last commit (rcc's resource times, the zip's
# entries), so that two builds of one commit give the same bytes. The Debian package takes
# its time from debian/changelog (dpkg-buildpackage sets SOURCE_DATE_EPOCH).
windows windows-configure test-windows reproducible: \
    export SOURCE_DATE_EPOCH ?= $(shell git log -1 --format=%ct 2>/dev/null)

deps:
	@bash scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVANI_WERROR=ON
	cmake --build $(BUILD) -j$(JOBS)

run: build
	cd $(BUILD)/bin && ./Korvani

test: deps
	$(MAKE) format-check
	$(MAKE) test-plain
	$(MAKE) fuzz
	$(MAKE) test-sanitized

# The files git tracks; in a tree that is no clone (git archive), those of its code folders.
format-check:
	@files=$$(git ls-files '*.cpp' '*.h' '*.c' 2>/dev/null || \
	          find src tests bench debian packaging -name '*.cpp' -o -name '*.h' -o -name '*.c'); \
	clang-format --dry-run -Werror $$files && \
	echo "format-check: $$(echo $$files | wc -w) files as .clang-format has them"

test-plain:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVANI_WERROR=ON
	cmake --build $(BUILD) -j$(JOBS)
	cd $(BUILD) && $(CTEST_ENV) ctest --output-on-failure -j$(JOBS)

test-sanitized:
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DKORVANI_WERROR=ON -DKORVANI_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j$(JOBS)
	cd $(ASAN_BUILD) && $(CTEST_ENV) $(SAN_ENV) ctest --output-on-failure -j$(JOBS)

fuzz: deps
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	      -DKORVANI_WERROR=ON -DKORVANI_TESTS=OFF -DKORVANI_FUZZ=ON
	cmake --build $(FUZZ_BUILD) --target korvani_fuzzers -j$(JOBS)
	bash tests/fuzz/run-fuzzers.sh $(FUZZ_BUILD)/tests/fuzz $(FUZZ_SECONDS)

bench: deps
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DKORVANI_TESTS=OFF -DKORVANI_BENCH=ON
	cmake --build $(BENCH_BUILD) -j$(JOBS)
	cd $(BENCH_BUILD) && QT_QPA_PLATFORM=offscreen ./bench/korvani_bench

conformance: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVANI_WERROR=ON
	cmake --build $(BUILD) --target conformance_driver -j$(JOBS)
	$(MAKE) windows-configure
	cmake --build $(WINDOWS_BUILD) --target conformance_driver -j$(JOBS)
	bash tests/conformance/run-conformance.sh $(BUILD) $(WINDOWS_BUILD)

faults: deps
	bash scripts/install-deps.sh libfiu0 fiu-utils strace
	[ "$$(id -u)" -ne 0 ] || bash scripts/install-deps.sh $(FILE_SYSTEM_DEPS)
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVANI_WERROR=ON
	cmake --build $(BUILD) --target profile_write generation_run tmpfile_shim korvani_program_folder \
	    -j$(JOBS)
	python3 tests/faults/run-faults.py $(BUILD)
	bash tests/faults/file-systems.sh $(BUILD)/test-tools/profile_write

# The source tree (scripts/source-tree.sh) goes to $(PACKAGE_BUILD)/korvani-<version>;
# dpkg-buildpackage writes the source package, korvani_<version>_<arch>.deb, its debug symbols,
# .buildinfo and .changes beside it, and the build's log, korvani_<version>_<arch>.build (blhc
# reads it). DEB_BUILD_OPTIONS=nocheck leaves the tests out.
package: deps
	rm -rf $(PACKAGE_BUILD)
	bash scripts/source-tree.sh $(PACKAGE_BUILD)/korvani-$$(dpkg-parsechangelog -S Version)
	cd $(PACKAGE_BUILD)/korvani-* && bash -o pipefail -c 'dpkg-buildpackage -us -uc -J$(JOBS) 2>&1 | \
	    tee ../korvani_$$(dpkg-parsechangelog -S Version)_$$(dpkg --print-architecture).build'

package-check: package
	bash packaging/check-package.sh $(PACKAGE_BUILD)
	JOBS=$(JOBS) bash scripts/reprotest.sh $(PACKAGE_BUILD)

install: deps
	$(call release_build,$(INSTALL_BUILD),$(PREFIX))
	DESTDIR="$(DESTDIR)" cmake --install $(INSTALL_BUILD) --strip

check-debian13:
	JOBS=$(JOBS) bash scripts/check-debian13.sh

debian-check:
	JOBS=$(JOBS) bash scripts/check-debian.sh

reprotest: package
	JOBS=$(JOBS) bash scripts/reprotest.sh $(PACKAGE_BUILD)

# The Windows build folder, with the Qt for MinGW (built on the first run).
windows-configure:
	@bash scripts/install-deps.sh $(WINDOWS_DEPS)
	qt=$$(JOBS=$(JOBS) bash scripts/build-qt-mingw.sh) && \
	cmake -S . -B $(WINDOWS_BUILD) -DCMAKE_BUILD_TYPE=Release -DKORVANI_WERROR=ON \
	      -DCMAKE_TOOLCHAIN_FILE="$$qt/lib/cmake/Qt6/qt.toolchain.cmake" -DKORVANI_BENCH=ON \
	      -DCMAKE_CROSSCOMPILING_EMULATOR="$(CURDIR)/scripts/wine-run.sh"

# rcc reads SOURCE_DATE_EPOCH but its outputs do not depend on it: after a new commit, the
# build folder's packed resources are made again (AUTORCC remakes a missing output).
windows: windows-configure
	@stamp=$(WINDOWS_BUILD)/source-date-epoch; \
	[ "$$(cat $$stamp 2>/dev/null)" = "$$SOURCE_DATE_EPOCH" ] || \
	    { find $(WINDOWS_BUILD) -name 'qrc_*.cpp' -delete; echo "$$SOURCE_DATE_EPOCH" >$$stamp; }
	cmake --build $(WINDOWS_BUILD) --target korvani_windows_zip korvani_windows_setup -j$(JOBS)

reproducible: windows
	JOBS=$(JOBS) bash scripts/check-reproducible.sh windows $(WINDOWS_BUILD)

test-windows: windows
	cmake --build $(WINDOWS_BUILD) --target korvani_core_tests korvani_gui_tests -j$(JOBS)
	cd $(WINDOWS_BUILD) && bash $(CURDIR)/scripts/wine-run.sh --host ctest --output-on-failure -j$(JOBS)
	bash packaging/windows/check-under-wine.sh \
	    "$$(ls -t $(WINDOWS_BUILD)/korvani-*-windows-x64.zip | head -n 1)"
	bash packaging/windows/check-installer.sh \
	    "$$(ls -t $(WINDOWS_BUILD)/korvani-*-setup-x64.exe | head -n 1)" \
	    "$$(ls -t $(WINDOWS_BUILD)/korvani-*-windows-x64.zip | head -n 1)"

bench-windows: windows-configure
	cmake --build $(WINDOWS_BUILD) --target korvani_bench -j$(JOBS)
	bash bench/bench-under-wine.sh $(WINDOWS_BUILD)/bench/korvani_bench.exe $(BENCH_WINDOWS_ADDRESSES)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(BENCH_BUILD) $(FUZZ_BUILD) $(PACKAGE_BUILD) $(INSTALL_BUILD) $(WINDOWS_BUILD) \
	       build-package-trixie
