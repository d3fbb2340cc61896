// The little the tool needs to know about its standard streams.
#pragma once

// True when standard error is a terminal, where a progress line helps.
bool standardErrorIsTerminal();

// Make standard output and input carry bytes unchanged (no line-end translation).
void makeStandardOutputBinary();
void makeStandardInputBinary();
