# The two commands of the README. Both install what is missing first.
.PHONY: demo test build deps clean

deps:
	tools/install-deps.sh

build: deps
	cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build build -j $$(nproc)

test: deps
	tools/run-tests.sh

demo: build
	tools/demo.sh

clean:
	rm -rf build build-*
