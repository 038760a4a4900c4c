# Wirelog: the two set-up commands are `make run` and `make test`.
# Both install what a fresh Debian 12 machine lacks, then build.

BUILD     ?= build
BUILDTYPE ?= RelWithDebInfo
JOBS      ?= $(shell nproc 2>/dev/null || echo 2)

# Packages the build, the tests and the demo need.
PACKAGES := g++ cmake ninja-build make pkg-config qt6-base-dev libx11-dev \
            libgl-dev xvfb xauth socat \
            xdotool matchbox-window-manager x11-utils imagemagick \
            dbus at-spi2-core python3-gi gir1.2-atspi-2.0
# Installing and packaging: icons rendered from the SVG, and the checks of the installed tree
# and of the .deb (label install, package).
PACKAGES += librsvg2-bin desktop-file-utils appstream dpkg-dev groff-base man-db
# The terminal-emulation engine, and the real peers the tests talk to: lrzsz for file-transfer
# protocols, ser2net for ports served over the network, a shell and vi behind a pseudo-terminal.
PACKAGES += libvterm-dev lrzsz ser2net vim-tiny

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps build run test test-sanitize fuzz demo bench format clean
.PHONY: install uninstall package screenshot

all: build

# Install only what is missing, so a set-up machine does not touch apt at all.
deps:
	@missing=""; for p in $(PACKAGES); do \
	    dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	    echo "Installing:$$missing"; \
	    $(SUDO) apt-get update -q && \
	    DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -q --no-install-recommends $$missing; \
	fi

# ccache, when installed, makes rebuilds in several checkouts cheap; the build does not need it.
LAUNCHER := $(shell command -v ccache >/dev/null 2>&1 && echo -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILDTYPE) $(LAUNCHER)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/wirelog

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 120

# The same tests built with AddressSanitizer and UndefinedBehaviorSanitizer.
test-sanitize: deps
	cmake -S . -B $(BUILD)-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DWIRELOG_SANITIZE=ON $(LAUNCHER)
	cmake --build $(BUILD)-sanitize -j $(JOBS)
	cd $(BUILD)-sanitize && ctest --output-on-failure -j $(JOBS) --timeout 300

# Every fuzz target under libFuzzer for FUZZ_SECONDS each, starting from the seed corpus
# (copied, so that the repository's corpus only grows by hand). Crashes land in $(BUILD)-fuzz.
FUZZ_SECONDS ?= 20
FUZZ_TARGETS := fuzz_linesettings fuzz_errormarks fuzz_registrystore fuzz_receive fuzz_telnet \
                fuzz_protocolreceive fuzz_vterm
fuzz: deps
	@$(MAKE) --no-print-directory deps PACKAGES="clang libclang-rt-14-dev"
	CXX=clang++ cmake -S . -B $(BUILD)-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWIRELOG_FUZZ=ON $(LAUNCHER)
	cmake --build $(BUILD)-fuzz --target fuzz_targets -j $(JOBS)
	@cd $(BUILD)-fuzz && for t in $(FUZZ_TARGETS); do \
	    rm -rf corpus-$$t && cp -r $(CURDIR)/tests/fuzz/corpus/$$t corpus-$$t && echo "== $$t"; \
	    len=4096; [ $$t = fuzz_receive ] && len=512; \
	    if LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp QT_QPA_PLATFORM=offscreen QT_NO_GLIB=1 tests/fuzz/$$t -max_total_time=$(FUZZ_SECONDS) \
	        -max_len=$$len -print_final_stats=1 corpus-$$t > $$t.log 2>&1; then \
	        grep -E "stat::number_of_executed_units|stat::peak_rss_mb" $$t.log; \
	    else tail -40 $$t.log; exit 1; fi; \
	done

# Wirelog on COM1, wired to the simulated modem over a pseudo-terminal.
demo: build
	tools/demo.sh $(BUILD)

# The metainfo's screenshot, taken from the program as it runs now.
screenshot: build
	tools/screenshot.sh $(BUILD) dist/screenshots/main.png

bench: build
	cmake --build $(BUILD) --target benchmarks -j $(JOBS)
	@for b in $(BUILD)/bench/bench_*; do echo "== $$b"; $$b || exit 1; done

# --- Installing and packaging ---
# make install [PREFIX=/usr/local] [DESTDIR=]: the program, its desktop entry, icons, metainfo
# and manual page. sudo is used only when the destination is not writable. The list of what
# went where is kept in $(BUILD)/installed-files.txt for make uninstall (CMake's own
# install_manifest.txt is rewritten by every install, the tests' staged ones too).
PREFIX ?= /usr/local
define install_sudo
dest="$(DESTDIR)$(PREFIX)"; while [ ! -d "$$dest" ]; do dest=$$(dirname "$$dest"); done; \
	[ -w "$$dest" ] || echo "$(SUDO)"
endef
install: build
	$$($(install_sudo)) env DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"
	@sed 's|^|$(DESTDIR)|' $(BUILD)/install_manifest.txt > $(BUILD)/installed-files.txt

uninstall:
	@test -f $(BUILD)/installed-files.txt || { echo "Nothing installed from $(BUILD)."; exit 1; }
	@sudo=$$($(install_sudo)); while read -r f || [ -n "$$f" ]; do \
	    [ -e "$$f" ] || [ -L "$$f" ] || continue; echo "Removing $$f"; $$sudo rm -f "$$f"; \
	done < $(BUILD)/installed-files.txt; rm -f $(BUILD)/installed-files.txt

# The Debian package, $(BUILD)/wirelog_<version>_<arch>.deb.
package: build
	cd $(BUILD) && cpack -G DEB
	@ls -1 $(BUILD)/wirelog_*.deb

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(BUILD)-sanitize
