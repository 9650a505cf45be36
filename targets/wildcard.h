// The extension filter's pattern language: "*" any run of characters, "?" one character,
// "#" one digit, "[...]" one character of a list with ranges ("[a-c]"), "[!...]" one
// character not in it; everything else matches itself.
#pragma once

#include <QString>

#include <optional>
#include <variant>
#include <vector>

namespace varnelt {

class WildcardPattern {
public:
    // nullopt when the pattern is not valid (an unclosed "[").
    static std::optional<WildcardPattern> compile(const QString& pattern);

    bool matches(const QString& text) const;

private:
    struct AnyRun {};
    struct AnyOne {};
    struct Digit {};
    struct Set {
        QString members;  // ranges expanded into pairs: even index lower bound, odd upper bound
        bool negated = false;
        bool contains(QChar c) const;
    };
    using Token = std::variant<QChar, AnyRun, AnyOne, Digit, Set>;

    static bool matchesOne(const Token& token, QChar c);

    std::vector<Token> tokens_;
};

}  // namespace varnelt
