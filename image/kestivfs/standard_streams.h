// The little the tool needs to know about its standard streams.
#pragma once

// True when standard error is a terminal, where a progress line helps.
bool standardErrorIsTerminal();

// Makes standard output carry bytes unchanged (no line-end translation).
void makeStandardOutputBinary();
