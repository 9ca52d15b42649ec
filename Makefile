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
            dpkg-dev file desktop-file-utils appstream groff-base gzip qt6-gtk-platformtheme \
            iproute2 nftables dbus-daemon python3
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

# Each benchmark runs under bench/run-bench.sh with its time limit in seconds (they add up to under ten
# minutes): in namespaces of its own, so that it never hears another run's peers and leaves no process
# behind, and with a temporary folder that is removed whatever happens.
BENCH := bench/run-bench.sh
bench: build
	$(BENCH) 20 ./$(BUILD)/bench/bench_packets
	$(BENCH) 30 ./$(BUILD)/bench/bench_codec
	$(BENCH) 30 ./$(BUILD)/bench/bench_transcript
	$(BENCH) 80 ./$(BUILD)/bench/bench_discovery
	$(BENCH) 30 ./$(BUILD)/bench/bench_animations
	$(BENCH) 40 ./$(BUILD)/bench/bench_transfer
	$(BENCH) 30 ./$(BUILD)/bench/bench_transfer_sealed
	$(BENCH) 35 ./$(BUILD)/bench/bench_storm
	$(BENCH) 80 ./$(BUILD)/bench/bench_stream
	$(BENCH) 20 ./$(BUILD)/bench/bench_probe
	$(BENCH) 20 ./$(BUILD)/bench/bench_seal
	$(BENCH) 40 ./$(BUILD)/bench/bench_cli_start
	$(BENCH) 50 ./$(BUILD)/bench/bench_delivery
	$(BENCH) 35 ./$(BUILD)/bench/bench_keys_discovery
	$(BENCH) 55 ./$(BUILD)/bench/bench_start 3

format:
	cmake --build $(BUILD) --target format

clean:
	rm -rf $(BUILD) build-fuzz
