# Set-up, build, run and test on Debian 12. `make run` and `make test` install what is missing first.
BUILD ?= build
JOBS ?= 2
ARGS ?=
FUZZ_SECONDS ?= 30
FUZZ_TARGET ?= fuzz_packet
FUZZ_CORPUS ?= packet

# The last line serves the install test and the Debian package (cpack); the platform theme lets the
# windows follow the desktop's light or dark theme.
PACKAGES := cmake g++ make qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev qt6-svg-dev qt6-tools-dev \
            libgl-dev libxkbcommon-dev unrtf libssl-dev pkgconf libsodium-dev libxxhash-dev \
            dpkg-dev file desktop-file-utils appstream groff-base gzip qt6-gtk-platformtheme
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)
TEST_ENV := QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$(CURDIR)/$(BUILD)/xdg-runtime

.PHONY: deps build run test fuzz bench format clean

deps:
	@missing=$$(for p in $(PACKAGES); do dpkg -s $$p >/dev/null 2>&1 || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	    echo "Installing:" $$missing; \
	    export DEBIAN_FRONTEND=noninteractive; \
	    $(SUDO) apt-get install -y --no-install-recommends $$missing || \
	    { $(SUDO) apt-get update && $(SUDO) apt-get install -y --no-install-recommends $$missing; }; \
	fi

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j$(JOBS)

run: build
	./$(BUILD)/perixchat $(ARGS)

test: build
	mkdir -p $(BUILD)/xdg-runtime && chmod 700 $(BUILD)/xdg-runtime
	cd $(BUILD) && $(TEST_ENV) ctest --output-on-failure -j$(JOBS)

# A libFuzzer run over the packet reader, or another target and its corpus (needs clang).
fuzz: deps
	cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ -DPERIX_LIBFUZZER=ON
	cmake --build build-fuzz -j$(JOBS) --target $(FUZZ_TARGET)
	mkdir -p build-fuzz/corpus-$(FUZZ_CORPUS) && cp fuzz/corpus/$(FUZZ_CORPUS)/* build-fuzz/corpus-$(FUZZ_CORPUS)/
	./build-fuzz/fuzz/$(FUZZ_TARGET) -max_total_time=$(FUZZ_SECONDS) build-fuzz/corpus-$(FUZZ_CORPUS)

# Each benchmark keeps its files in its own temporary folder; the discovery and storm ones bind UDP
# 54812 and wait for the port's lock so that they never hear another run's peers.
bench: build
	./$(BUILD)/bench/bench_packets
	./$(BUILD)/bench/bench_codec
	./$(BUILD)/bench/bench_transcript
	flock /tmp/perix-udp-54812.lock ./$(BUILD)/bench/bench_discovery
	./$(BUILD)/bench/bench_animations
	./$(BUILD)/bench/bench_transfer
	flock /tmp/perix-udp-54812.lock ./$(BUILD)/bench/bench_storm
	flock /tmp/perix-udp-54812.lock ./$(BUILD)/bench/bench_stream
	./$(BUILD)/bench/bench_probe
	./$(BUILD)/bench/bench_seal
	flock /tmp/perix-udp-54812.lock ./$(BUILD)/bench/bench_keys_discovery

format:
	cmake --build $(BUILD) --target format

clean:
	rm -rf $(BUILD) build-fuzz
