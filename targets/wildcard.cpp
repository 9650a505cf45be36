#include "targets/wildcard.h"

namespace varnelt {

bool WildcardPattern::Set::contains(QChar c) const {
    for (qsizetype i = 0; i + 1 < members.size(); i += 2) {
        if (members[i] <= c && c <= members[i + 1]) {
            return true;
        }
    }
    return false;
}

std::optional<WildcardPattern> WildcardPattern::compile(const QString& pattern) {
    WildcardPattern compiled;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern[i];
        if (c == u'*') {
            // Consecutive stars match what one does.
            if (compiled.tokens_.empty() ||
                !std::holds_alternative<AnyRun>(compiled.tokens_.back())) {
                compiled.tokens_.emplace_back(AnyRun{});
            }
        } else if (c == u'?') {
            compiled.tokens_.emplace_back(AnyOne{});
        } else if (c == u'#') {
            compiled.tokens_.emplace_back(Digit{});
        } else if (c == u'[') {
            const qsizetype close = pattern.indexOf(u']', i + 1);
            if (close < 0) {
                return std::nullopt;
            }
            Set set;
            qsizetype k = i + 1;
            if (k < close && pattern[k] == u'!') {
                set.negated = true;
                ++k;
            }
            for (; k < close; ++k) {
                QChar low = pattern[k];
                QChar high = low;
                if (k + 2 < close && pattern[k + 1] == u'-') {
                    high = pattern[k + 2];
                    k += 2;
                }
                set.members.append(low).append(high);
            }
            compiled.tokens_.emplace_back(std::move(set));
            i = close;
        } else {
            compiled.tokens_.emplace_back(c);
        }
    }
    return compiled;
}

bool WildcardPattern::matchesOne(const Token& token, QChar c) {
    if (const QChar* literal = std::get_if<QChar>(&token)) {
        return *literal == c;
    }
    if (std::holds_alternative<AnyOne>(token)) {
        return true;
    }
    if (std::holds_alternative<Digit>(token)) {
        return c >= u'0' && c <= u'9';
    }
    const Set& set = std::get<Set>(token);
    return set.contains(c) != set.negated;
}

bool WildcardPattern::matches(const QString& text) const {
    // Greedy matching with backtracking to the last star: linear in practice, never
    // exponential however many stars the pattern holds.
    size_t token = 0;
    qsizetype position = 0;
    std::optional<size_t> starToken;
    qsizetype starPosition = 0;
    while (position < text.size()) {
        if (token < tokens_.size() && std::holds_alternative<AnyRun>(tokens_[token])) {
            starToken = token++;
            starPosition = position;
        } else if (token < tokens_.size() && matchesOne(tokens_[token], text[position])) {
            ++token;
            ++position;
        } else if (starToken) {
            token = *starToken + 1;
            position = ++starPosition;
        } else {
            return false;
        }
    }
    while (token < tokens_.size() && std::holds_alternative<AnyRun>(tokens_[token])) {
        ++token;
    }
    return token == tokens_.size();
}

}  // namespace varnelt
