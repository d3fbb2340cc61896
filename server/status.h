#pragma once
// kestiv-seat --status: asks the running server for its metrics, at
// KESTIV_METRICS, and prints them for a person.

// Prints the server's numbers of the moment. Returns 0, or 1 with one line
// on standard error when KESTIV_METRICS is unset or wrong or no server answers there.
int showStatus();
