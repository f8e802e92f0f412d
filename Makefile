# Ferrotune: `make run` shows the program, `make test` proves it.
SHELL := /bin/bash
BUILD := build

.PHONY: all deps build build-x64 build-x86 test run clean

all: build

deps:
	@tools/install-deps.sh

build: deps build-x86 build-x64

build-x64 build-x86: build-%:
	@test -f $(BUILD)/$*/build.ninja || cmake --preset $* >/dev/null
	cmake --build $(BUILD)/$*

# The shape checks of both programs and both test passes run; the target
# fails when any fails. The x86 pass runs the shipped build's tests in an
# emulated i386 machine (tools/vm), whose image is built once per machine, in
# the background while the builds and the x64 pass run.
test: deps
	@tools/vm/image.sh i386vm --background $(BUILD)/i386vm-image.log
	@$(MAKE) --no-print-directory build
	@failed=(); \
	/usr/bin/python3 tools/peshape.py x86 $(BUILD)/x86/bin/Ferrotune.exe || failed+=("x86 shape check"); \
	/usr/bin/python3 tools/peshape.py x64 $(BUILD)/x64/bin/Ferrotune.exe || failed+=("x64 shape check"); \
	(cd $(BUILD)/x64 && ctest --output-on-failure --timeout 600) || failed+=("x64 pass"); \
	tools/vm/pass.sh i386vm $(BUILD)/x86 || failed+=("x86 pass"); \
	if [ $${#failed[@]} -gt 0 ]; then \
		echo "make test: FAILED: $$(IFS=,; echo "$${failed[*]}" | sed 's/,/, /g')"; exit 1; \
	fi; \
	echo "make test: the shape checks and the x64 and x86 passes passed"

run: build
	tools/run-demo.sh $(BUILD)/x64

clean:
	rm -rf $(BUILD)

.PHONY: dist bench
dist: build
	tools/make-dist.sh $(BUILD)/x86 $(BUILD)/x64 dist

bench: build
	tools/bench.sh $(BUILD)/x64 $(BUILD)/x86
