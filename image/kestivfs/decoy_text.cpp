#include "decoy_text.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <vector>

namespace {

// Word lists and sentence templates. In a template, N stands for a noun, A an
// adjective, V a verb in the past tense that takes an object, X one that does
// not, P a preposition, L a place and D an adverb.
constexpr std::string_view kNouns[] = {
    "lantern", "door",   "ledger",  "key",     "stair",   "window", "letter", "clock",
    "map",     "rope",   "candle",  "mirror",  "bell",    "coin",   "shadow", "voice",
    "compass", "crate",  "ladder",  "signal",  "archive", "lock",   "thread", "notebook",
    "stone",   "engine", "drawer",  "whistle", "tunnel",  "ghost",  "keeper", "message",
    "switch",  "cable",  "pattern", "echo",    "folder",  "record", "mark",   "path",
};
constexpr std::string_view kAdjectives[] = {
    "old",    "quiet",   "narrow",  "broken", "hidden", "empty",   "strange", "dusty",
    "bright", "cold",    "crooked", "silent", "heavy",  "pale",    "endless", "forgotten",
    "small",  "twisted", "wet",     "faint",  "last",   "hollow",  "sealed",  "restless",
    "blue",   "rusted",  "careful", "lonely", "sudden", "patient",
};
constexpr std::string_view kVerbs[] = {
    "found",   "moved",   "opened", "counted", "followed", "closed",  "marked",
    "dropped", "carried", "copied", "hid",     "watched",  "mended",  "buried",
    "lost",    "turned",  "traced", "checked", "weighed",  "guarded", "measured",
    "lit",     "crossed", "sorted", "burned",
};
constexpr std::string_view kIntransitives[] = {
    "waited",   "vanished",  "slept",     "rang",   "flickered", "fell",    "stopped",
    "wandered", "returned",  "creaked",   "faded",  "trembled",  "rested",  "stayed",
    "hummed",   "collapsed", "whispered", "echoed", "lingered",  "drifted",
};
constexpr std::string_view kPrepositions[] = {
    "under", "behind", "beside", "near",   "beyond", "inside",
    "below", "above",  "past",   "around", "across", "along",
};
constexpr std::string_view kPlaces[] = {
    "hall",    "cellar", "corridor",        "attic",    "vault",  "library", "tower",
    "yard",    "garden", "kitchen",         "station",  "bridge", "well",    "archive room",
    "landing", "gate",   "room at the end", "basement", "chapel", "study",
};
constexpr std::string_view kAdverbs[] = {
    "slowly", "again",  "twice",   "carefully", "quietly", "never",    "once",  "still",
    "almost", "always", "already", "barely",    "gently",  "suddenly", "later",
};
constexpr std::string_view kTemplates[] = {
    "the A N V the N P the L",
    "nobody D V the N, and the N X",
    "in the L, a A N X D",
    "somewhere P the L the N V a A N",
    "it was the A N that V the N",
    "every N X, but the N X P the L",
    "the N of the L was A and A",
    "we V the N and D X",
    "P the L the N X, and we V it",
    "I V a A N P the L",
    "they say the N P the L X D",
    "the A N D V the N P the L",
    "no N was ever A in the L",
    "the keeper V the N and the N X",
    "remember the A N? It X P the L",
    "if the N X again, follow the A N",
};
constexpr std::string_view kTitles[] = {
    "Notes on the A N", "What the N saw",     "Report from the L",
    "The A N",          "Inventory of the L", "Day ITEM in the L",
};
// Short words that make a last sentence of any needed length.
constexpr std::string_view kFiller[] = {
    "a",      "I",       "so",        "it",        "we",         "on",      "at",
    "to",     "no",      "the",       "and",       "was",        "not",     "yet",
    "end",    "here",    "there",     "still",     "again",      "nothing", "moved",
    "waited", "quietly", "forgotten", "somewhere", "underneath",
};

template <std::size_t n>
std::string_view pick(MazeRandom& random, const std::string_view (&words)[n]) {
    return words[randomBelow(random, n)];
}

// The words of one sentence from a template, the first capitalised.
std::vector<std::string> fromTemplate(MazeRandom& random, std::string_view pattern, std::string_view end) {
    std::vector<std::string> words;
    std::size_t at = 0;
    while (at <= pattern.size()) {
        std::size_t space = pattern.find(' ', at);
        if (space == std::string_view::npos) space = pattern.size();
        std::string_view token = pattern.substr(at, space - at);
        std::string_view tail;
        if (!token.empty() && (token.back() == ',' || token.back() == '?')) {
            tail = token.substr(token.size() - 1);
            token.remove_suffix(1);
        }
        std::string word;
        if (token == "N")
            word = pick(random, kNouns);
        else if (token == "A")
            word = pick(random, kAdjectives);
        else if (token == "V")
            word = pick(random, kVerbs);
        else if (token == "X")
            word = pick(random, kIntransitives);
        else if (token == "P")
            word = pick(random, kPrepositions);
        else if (token == "L")
            word = pick(random, kPlaces);
        else if (token == "D")
            word = pick(random, kAdverbs);
        else if (token == "ITEM")
            word = std::to_string(randomBetween(random, 2, 999));
        else
            word = token;
        words.push_back(word + std::string(tail));
        at = space + 1;
    }
    for (std::size_t i = 0; i + 1 < words.size(); ++i)
        if (words[i] == "a" && std::string_view("aeiou").find(words[i + 1][0]) != std::string_view::npos)
            words[i] = "an";
    words.front()[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(words.front()[0])));
    words.back() += end;
    return words;
}

std::vector<std::string> sentence(MazeRandom& random) {
    constexpr std::string_view kEnds[] = {".", ".", ".", ".", ".", "!", "..."};
    return fromTemplate(random, pick(random, kTemplates), pick(random, kEnds));
}

// Words laid out in lines of at most kDecoyLineWidth columns (a longer word has
// a line to itself) and paragraphs. A word costs its length and one separator,
// space or line end alike, so the length of a text is known before layout.
struct Layout {
    std::string text;
    std::size_t column = 0;
    bool paragraphNext = false;
};

std::size_t layoutCost(const Layout& layout, const std::vector<std::string>& words) {
    std::size_t total = layout.text.empty() ? 0 : (layout.paragraphNext ? 2 : 1);
    for (const std::string& word : words) total += word.size();
    return total + words.size() - 1;
}

void layOut(Layout& layout, const std::vector<std::string>& words) {
    for (const std::string& word : words) {
        if (layout.text.empty()) {
        } else if (layout.paragraphNext) {
            layout.text += "\n\n";
            layout.column = 0;
        } else if (layout.column + 1 + word.size() > kDecoyLineWidth) {
            layout.text += '\n';
            layout.column = 0;
        } else {
            layout.text += ' ';
            ++layout.column;
        }
        layout.paragraphNext = false;
        layout.text += word;
        layout.column += word.size();
    }
}

// A sentence of filler words whose cost lies in [low, high]; high - low >= 15.
std::vector<std::string> fillerSentence(MazeRandom& random, std::size_t separator, std::size_t low,
                                        std::size_t high) {
    std::vector<std::string> words;
    std::size_t length = separator + 1;  // the full stop
    auto pickFitting = [&](std::size_t room) {
        std::string_view word;
        do word = pick(random, kFiller);
        while (word.size() > room);
        return std::string(word);
    };
    do {
        const std::size_t gap = words.empty() ? 0 : 1;
        std::string word = pickFitting(high - length - gap);
        length += gap + word.size();
        words.push_back(std::move(word));
    } while (length < low);
    words.front()[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(words.front()[0])));
    words.back() += '.';
    return words;
}

}  // namespace

std::string decoyText(MazeRandom& random, std::size_t minBytes, std::size_t maxBytes) {
    Layout layout;
    // The final line end is one byte of every budget below.
    const std::size_t limit = maxBytes - 1;
    auto fits = [&](const std::vector<std::string>& words) {
        return layout.text.size() + layoutCost(layout, words) <= limit;
    };
    const std::vector<std::string> title = fromTemplate(random, pick(random, kTitles), "");
    if (fits(title)) {
        layOut(layout, title);
        layout.paragraphNext = true;
    }
    std::uint64_t sentencesLeft = randomBetween(random, 2, 6);
    for (;;) {
        std::vector<std::string> next = sentence(random);
        for (int attempt = 0; attempt < 8 && !fits(next); ++attempt) next = sentence(random);
        if (!fits(next)) break;
        layOut(layout, next);
        if (--sentencesLeft == 0) {
            layout.paragraphNext = true;
            sentencesLeft = randomBetween(random, 2, 6);
        }
    }
    if (layout.text.size() + 1 < minBytes) {
        const std::size_t separator = layoutCost(layout, {""});
        const std::size_t low = minBytes - 1 - layout.text.size();
        const std::size_t high = limit - layout.text.size();
        layOut(layout, fillerSentence(random, separator, std::max(low, separator + 2), high));
    }
    return layout.text + '\n';
}
