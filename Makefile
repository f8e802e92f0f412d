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

# The shape checks of both programs and the three test passes run; the target
# fails when any fails. The x64 pass runs the x64 build's tests here; the x86
# pass and the WoW64 pass run the shipped x86 build's tests in emulated
# machines (tools/vm: 32-bit Windows, and 64-bit Windows with WoW64), whose
# images are built once per machine, in the background while the builds and
# the x64 pass run.
test: deps
	@tools/vm/image.sh i386vm --background $(BUILD)/i386vm-image.log
	@tools/vm/image.sh wow64vm --background $(BUILD)/wow64vm-image.log
	@$(MAKE) --no-print-directory build
	@failed=(); \
	took() { echo "make test: $$1 took $$((SECONDS - start)) s"; start=$$SECONDS; }; \
	/usr/bin/python3 tools/peshape.py x86 $(BUILD)/x86/bin/Ferrotune.exe || failed+=("x86 shape check"); \
	/usr/bin/python3 tools/peshape.py x64 $(BUILD)/x64/bin/Ferrotune.exe || failed+=("x64 shape check"); \
	start=$$SECONDS; \
	(cd $(BUILD)/x64 && ctest --output-on-failure --timeout 600) || failed+=("x64 pass"); \
	took "the x64 pass"; \
	tools/vm/pass.sh i386vm $(BUILD)/x86 || failed+=("x86 pass"); \
	took "the x86 pass (with any wait for its image)"; \
	tools/vm/pass.sh wow64vm $(BUILD)/x86 || failed+=("WoW64 pass"); \
	took "the WoW64 pass (with any wait for its image)"; \
	if [ $${#failed[@]} -gt 0 ]; then \
		echo "make test: FAILED: $$(IFS=,; echo "$${failed[*]}" | sed 's/,/, /g')"; exit 1; \
	fi; \
	echo "make test: the shape checks and the x64, x86 and WoW64 passes passed"

run: build
	tools/run-demo.sh $(BUILD)/x64

clean:
	rm -rf $(BUILD)

.PHONY: dist bench
dist: build
	tools/make-dist.sh $(BUILD)/x86 $(BUILD)/x64 dist

bench: build
	tools/bench.sh $(BUILD)/x64 $(BUILD)/x86
