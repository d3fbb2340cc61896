// Choice between the two AES implementations, for tests and benchmarks that
// must exercise both. Without a call the module takes the hardware path
// wherever the processor has AES instructions.
#pragma once

enum class AesPath { portable, hardware };

// True when the processor has the AES instructions the hardware path needs.
bool aesHardwareAvailable();

// Makes every later AES_ call take the given path; hardware falls back to
// portable where aesHardwareAvailable() is false.
void aesForcePath(AesPath path);
