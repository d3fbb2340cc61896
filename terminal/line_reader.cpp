#include "line_reader.h"

#include "console.h"

bool readLine(std::FILE* input, std::string& line) {
    line.clear();
    int c;
    while ((c = std::getc(input)) != EOF) {
        if (c == '\n') {
            if (!kTextInputDropsCarriageReturn && !line.empty() && line.back() == '\r')
                line.pop_back();
            return true;
        }
        line.push_back(static_cast<char>(c));
    }
    return !line.empty();
}
