// The program's settings file: [Section] and Key=Value lines in UTF-8. It is read once, changed
// in memory and written back once; lines the program does not know stay exactly as they were.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <vector>

namespace varnelt {

class ProfileFile {
public:
    // Replaces what the profile holds with the file's lines. A missing or unreadable file leaves
    // an empty profile and answers false.
    bool load(const QString& path);
    // Writes the whole profile to a new file renamed over the old one, creating the folder when
    // missing. On false the old file is left as it was.
    bool save(const QString& path) const;

    // Names match ASCII case-insensitively and blanks around names and values do not count; of
    // duplicate sections or keys the first wins. The value is whole, quotes included. Empty when
    // the section or key is missing.
    QString value(const QString& section, const QString& key) const;
    // Replaces the value in place, or adds the key after its section's last key, or adds the
    // section at the end. Line breaks in the value become spaces. Names that could never be read
    // back (empty, holding "=", "]" or a line break, or starting like a comment) change nothing.
    void setValue(const QString& section, const QString& key, const QString& value);

private:
    enum class Kind { Blank, Other, Section, Key };
    struct Line {
        QByteArray text;  // without its line end
        QByteArray end;   // "\n", "\r\n", or empty for an unterminated last line
        Kind kind = Kind::Other;
        QByteArray name;           // section or key, without blanks
        qsizetype valueBegin = 0;  // the value's blank-free span within text
        qsizetype valueEnd = 0;
    };

    static Line makeLine(QByteArray text, QByteArray end);
    QByteArray bytes() const;
    // Index of the first header named so, or -1.
    qsizetype findSection(QByteArrayView name) const;
    // Index of the header after the one at header, or the line count.
    qsizetype sectionEnd(qsizetype header) const;
    // Index of the first key named so between header and end, or -1.
    qsizetype findKey(qsizetype header, qsizetype end, QByteArrayView name) const;

    std::vector<Line> lines_;
    QByteArray newline_ = "\n";
    bool bom_ = false;
};

}  // namespace varnelt
