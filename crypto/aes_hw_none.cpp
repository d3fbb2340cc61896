// Builds for processors whose AES instructions this module does not use: the
// portable path is the only one.
#include "crypto/aes_backend.h"

const AesBackend* aesHardwareBackend() { return nullptr; }
