# Thin front door: installs what is missing, then drives the CMake presets.
.PHONY: deps test build run asan fuzz format clean

deps:
	bash scripts/install-deps

build: deps
	cmake --preset ci
	cmake --build --preset ci

test: build
	ctest --preset ci

# Opens the window against the desktop of the user who runs it.
run: deps
	cmake --preset ci
	cmake --build --preset ci --target halvora
	./build/ci/src/app/halvora

asan: deps
	cmake --preset asan
	cmake --build --preset asan
	ctest --preset asan

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build

fuzz: deps
	cmake --preset fuzz
	cmake --build --preset fuzz
	bash scripts/run-fuzz
