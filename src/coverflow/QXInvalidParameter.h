#pragma once

// A broken precondition of the cover-flow control: a programming error, raised with a fixed
// reason and never a run-time outcome.

#include <stdexcept>
#include <string>

class QXInvalidParameter : public std::invalid_argument {
public:
    explicit QXInvalidParameter(const std::string& condition)
        : std::invalid_argument("Invalid parameter not satisfying: " + condition) {}
};

#define QX_PRECONDITION(condition, text)                                                           \
    do {                                                                                           \
        if (!(condition))                                                                          \
            throw QXInvalidParameter(text);                                                        \
    } while (false)
