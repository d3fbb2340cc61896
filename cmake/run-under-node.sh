#!/bin/sh
# Runs a test program built by Emscripten under Node. Emscripten 3.1.6
# predates Node's fetch and would fetch its .wasm by file name with it;
# without fetch it reads the file.
exec node --no-experimental-fetch "$@"
