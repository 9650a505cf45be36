#include "settings/profile_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace varnelt {
namespace {

constexpr QByteArrayView kBom("\xEF\xBB\xBF");

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

QByteArrayView withoutBlanks(QByteArrayView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && isBlank(text[end - 1])) {
        --end;
    }
    return text.sliced(begin, end - begin);
}

// Only ASCII letters fold: a locale's idea of case must not change which key a name finds.
char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(QByteArrayView a, QByteArrayView b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i])) {
            return false;
        }
    }
    return true;
}

bool hasLineBreak(QByteArrayView text) {
    return text.contains('\n') || text.contains('\r');
}

bool isCommentStart(char c) {
    return c == ';' || c == '#';
}

bool validSectionName(QByteArrayView name) {
    return !name.isEmpty() && !name.contains(']') && !hasLineBreak(name);
}

// A key line must not read back as a comment or a header.
bool validKeyName(QByteArrayView name) {
    return !name.isEmpty() && !name.contains('=') && !hasLineBreak(name) &&
           !isCommentStart(name.front()) && name.front() != '[';
}

}  // namespace

ProfileFile::Line ProfileFile::makeLine(QByteArray text, QByteArray end) {
    Line line;
    line.text = std::move(text);
    line.end = std::move(end);
    const QByteArrayView content = withoutBlanks(line.text);
    if (content.isEmpty()) {
        line.kind = Kind::Blank;
        return line;
    }
    if (isCommentStart(content.front())) {
        return line;
    }
    if (content.front() == '[') {
        const qsizetype close = content.indexOf(']');
        if (close > 0) {
            line.kind = Kind::Section;
            line.name = withoutBlanks(content.sliced(1, close - 1)).toByteArray();
        }
        return line;
    }
    const qsizetype equals = line.text.indexOf('=');
    const QByteArrayView name = withoutBlanks(QByteArrayView(line.text).first(qMax(equals, 0)));
    if (equals < 0 || name.isEmpty()) {
        return line;
    }
    line.kind = Kind::Key;
    line.name = name.toByteArray();
    line.valueBegin = equals + 1;
    line.valueEnd = line.text.size();
    while (line.valueBegin < line.valueEnd && isBlank(line.text[line.valueBegin])) {
        ++line.valueBegin;
    }
    while (line.valueEnd > line.valueBegin && isBlank(line.text[line.valueEnd - 1])) {
        --line.valueEnd;
    }
    return line;
}

bool ProfileFile::load(const QString& path) {
    *this = ProfileFile();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        return false;
    }
    if (bytes.startsWith(kBom)) {
        bom_ = true;
        bytes.remove(0, kBom.size());
    }
    bool endSeen = false;
    qsizetype pos = 0;
    while (pos < bytes.size()) {
        const qsizetype newline = bytes.indexOf('\n', pos);
        if (newline < 0) {
            lines_.push_back(makeLine(bytes.sliced(pos), {}));
            break;
        }
        const bool crlf = newline > pos && bytes[newline - 1] == '\r';
        QByteArray end = crlf ? QByteArray("\r\n") : QByteArray("\n");
        // Lines the program adds follow the file's first line end.
        if (!endSeen) {
            newline_ = end;
            endSeen = true;
        }
        lines_.push_back(makeLine(bytes.sliced(pos, newline - pos - (crlf ? 1 : 0)), end));
        pos = newline + 1;
    }
    return true;
}

QByteArray ProfileFile::bytes() const {
    QByteArray out;
    if (bom_) {
        out += kBom;
    }
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        out += lines_[i].text;
        // An unterminated last line that is no longer last needs an end.
        out += lines_[i].end.isEmpty() && i + 1 < lines_.size() ? newline_ : lines_[i].end;
    }
    return out;
}

bool ProfileFile::save(const QString& path) const {
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        return false;
    }
    QSaveFile file(path);
    // Unbuffered: a buffered short write (disk full, size limit) is not reported by commit().
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        return false;
    }
    const QByteArray data = bytes();
    // Without commit the temporary file is discarded and the old file stays.
    return file.write(data) == data.size() && file.commit();
}

qsizetype ProfileFile::findSection(QByteArrayView name) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].kind == Kind::Section && sameName(lines_[i].name, name)) {
            return static_cast<qsizetype>(i);
        }
    }
    return -1;
}

qsizetype ProfileFile::sectionEnd(qsizetype header) const {
    const auto count = static_cast<qsizetype>(lines_.size());
    qsizetype i = header + 1;
    while (i < count && lines_[i].kind != Kind::Section) {
        ++i;
    }
    return i;
}

qsizetype ProfileFile::findKey(qsizetype header, qsizetype end, QByteArrayView name) const {
    for (qsizetype i = header + 1; i < end; ++i) {
        if (lines_[i].kind == Kind::Key && sameName(lines_[i].name, name)) {
            return i;
        }
    }
    return -1;
}

QString ProfileFile::value(const QString& section, const QString& key) const {
    const qsizetype header = findSection(withoutBlanks(section.toUtf8()));
    if (header < 0) {
        return {};
    }
    const qsizetype found = findKey(header, sectionEnd(header), withoutBlanks(key.toUtf8()));
    if (found < 0) {
        return {};
    }
    const Line& line = lines_[found];
    return QString::fromUtf8(
        QByteArrayView(line.text).sliced(line.valueBegin, line.valueEnd - line.valueBegin));
}

void ProfileFile::setValue(const QString& section, const QString& key, const QString& value) {
    const QByteArray sectionUtf8 = section.toUtf8();
    const QByteArray keyUtf8 = key.toUtf8();
    const QByteArrayView sectionName = withoutBlanks(sectionUtf8);
    const QByteArrayView keyName = withoutBlanks(keyUtf8);
    if (!validSectionName(sectionName) || !validKeyName(keyName)) {
        return;
    }
    // A line break would split the value into lines of its own.
    const QByteArray text = value.toUtf8().replace('\r', ' ').replace('\n', ' ');
    const QByteArray keyLine = keyName.toByteArray() + '=' + text;

    const qsizetype header = findSection(sectionName);
    if (header < 0) {
        if (!lines_.empty() && lines_.back().kind != Kind::Blank) {
            lines_.push_back(makeLine({}, newline_));
        }
        lines_.push_back(makeLine('[' + sectionName.toByteArray() + ']', newline_));
        lines_.push_back(makeLine(keyLine, newline_));
        return;
    }
    const qsizetype end = sectionEnd(header);
    const qsizetype found = findKey(header, end, keyName);
    if (found >= 0) {
        Line& line = lines_[found];
        QByteArray replaced = line.text;
        replaced.replace(line.valueBegin, line.valueEnd - line.valueBegin, text);
        line = makeLine(std::move(replaced), std::move(line.end));
        return;
    }
    qsizetype insertAt = header + 1;
    for (qsizetype i = header + 1; i < end; ++i) {
        if (lines_[i].kind == Kind::Key) {
            insertAt = i + 1;
        }
    }
    lines_.insert(lines_.begin() + insertAt, makeLine(keyLine, newline_));
}

}  // namespace varnelt
