#include "proof_of_work.h"

#include <sys/random.h>
#include <algorithm>

#include "settings.h"
#include "sha256.h"

std::string makeChallenge() {
    unsigned char random[16];
    if (getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
        return "";
    }
    std::string challenge;
    for (unsigned char byte : random) {
        challenge += "0123456789abcdef"[byte >> 4];
        challenge += "0123456789abcdef"[byte & 15];
    }
    return challenge;
}

bool provesWork(const std::string& challenge, const std::string& answer, long bits) {
    if (answer.empty() || answer.size() > 64 ||
        !std::all_of(answer.begin(), answer.end(), [](char c) { return c > ' ' && c < 127; })) {
        return false;
    }
    Sha256Digest digest = sha256(challenge + answer);
    for (long bit = 0; bit < bits; ++bit) {
        if (digest[bit / 8] & (0x80 >> (bit % 8))) {
            return false;
        }
    }
    return true;
}

std::string challengeText(const std::string& challenge, long bits, long seconds) {
    return "kestiv's terminal asks a small proof of work first: send a line that, after " +
           challenge + ", gives a SHA-256 starting with " + std::to_string(bits) +
           " zero bits, within " + describeDuration(seconds) + ". This command prints one:\r\n" +
           solverCommand(challenge, bits) + "\r\n";
}

std::string solverCommand(const std::string& challenge, long bits) {
    return "python3 -c 'import hashlib,itertools;c=b\"" + challenge + "\";print(next(n for n in " +
           "itertools.count() if int.from_bytes(hashlib.sha256(c+str(n).encode()).digest(),\"big\")>>" +
           std::to_string(256 - bits) + "==0))'";
}
