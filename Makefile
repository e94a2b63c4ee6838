# make run   - install what is needed, build, start Harkwin.exe under Wine
# make test  - install what is needed, build, run every test layer (ends with ctest's summary)
BUILD ?= build
JOBS ?= 2

.PHONY: run test build deps clean screenshots bench dist fuzz storm journey test-fresh

# The packages that provide whatever the build and the tests call and is missing.
deps:
	@tools/deps.sh test

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

# ctest reports the 32-bit layers as skipped where the kernel runs no 32-bit programs; why, first.
test: build
	@tools/runs_i386.sh 2>&1 | sed 's/^runs_i386: /smoke_i686 and storm_i686 will be skipped: /'
	cd $(BUILD) && ctest --output-on-failure

# Running needs only the 64-bit exe and the driver that sees its dialog on screen.
WIN64 = $(BUILD)/win-x86_64
run:
	@tools/deps.sh run
	cmake -S . -B $(WIN64) -DCMAKE_TOOLCHAIN_FILE="$(CURDIR)/cmake/mingw-x86_64.cmake" -DCMAKE_BUILD_TYPE=MinSizeRel
	cmake --build $(WIN64) --target Harkwin driver -j $(JOBS)
	tools/run.sh $(WIN64)/Harkwin.exe $(BUILD)

# Renders the dialog and the tray in each status under Wine into docs/pictures.
screenshots: build
	mkdir -p docs/pictures
	e2e/sandbox.sh --pictures "$(CURDIR)/docs/pictures" wine $(BUILD)/win-x86_64/driver.exe \
	    $(BUILD)/win-x86_64/Harkwin.exe "$(CURDIR)/docs/pictures"

# Figures beside their baselines, into docs/benchmarks.md; never fails on timing.
bench: build
	tools/bench.sh $(BUILD)

# The release packages, with their SHA-256.
dist: build
	tools/dist.sh $(BUILD)

# A long storm of random user and shell events; STORM_SEED replays one.
STORM_EVENTS ?= 2000
STORM_SEED ?=
storm: build
	STORM_EVENTS=$(STORM_EVENTS) STORM_SEED=$(STORM_SEED) e2e/sandbox.sh e2e/verdict.sh e2e wine \
	    $(BUILD)/win-x86_64/storm.exe $(BUILD)/win-x86_64/Harkwin.exe

# One journey of the driver again and again in one sandbox, each run alone: JOURNEY (default
# question), RUNS (default 20); a failed run's log stays in $(BUILD)/journey-N.log, its end is shown.
JOURNEY ?= question
RUNS ?= 20
journey: build
	e2e/sandbox.sh tools/journey.sh $(WIN64) $(BUILD) $(JOURNEY) $(RUNS)

# The fuzzers, longer than the test suite runs them.
FUZZ_LONG ?= 300
fuzz: build
	for t in registry fields; do fuzz/run.sh "$(CURDIR)/$(BUILD)/fuzz/$${t}_fuzz" fuzz/corpus/$$t $(FUZZ_LONG) || exit 1; done

# The README's commands on pristine Debian 12 and 13 roots (root, debootstrap, overlay);
# FRESH_MAKE="test storm" runs more there before make run; FRESH_MAKE= runs make run alone.
FRESH_MAKE ?= test
test-fresh:
	HARKWIN_FRESH_MAKE="$(FRESH_MAKE)" tools/test_fresh.sh $(SUITES)

clean:
	rm -rf "$(BUILD)"
