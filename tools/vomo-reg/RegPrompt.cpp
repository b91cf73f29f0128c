#include "tools/vomo-reg/RegPrompt.h"

#include <iostream>

#include "tools/vomo-reg/RegFailure.h"

namespace vomoreg {

Answer Ask(const std::string& question, std::istream& in, std::ostream& out) {
    for (;;) {
        out << question << " (Yes/No)? " << std::flush;
        std::string line;
        if (!std::getline(in, line)) {
            out << "\n";
            return Answer::None;
        }
        if (!line.empty() && (line[0] == 'y' || line[0] == 'Y')) {
            return Answer::Yes;
        }
        if (!line.empty() && (line[0] == 'n' || line[0] == 'N')) {
            return Answer::No;
        }
    }
}

bool Confirmed(const std::string& question) {
    switch (Ask(question, std::cin, std::cout)) {
        case Answer::Yes:
            return true;
        case Answer::No:
            return false;
        case Answer::None:
            break;
    }
    Fail(
        "The question got no answer: standard input ended. Nothing was changed; give /f to "
        "go ahead without asking.");
}

}  // namespace vomoreg
