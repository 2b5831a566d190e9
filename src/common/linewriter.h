#pragma once
// Collects the lines of a text file and replaces the file in one step when committed, so
// that no reader ever sees it half-written.
#include <QString>
#include <QStringList>

class CLineWriter {
public:
    explicit CLineWriter(QString path) : m_path(std::move(path)) {}
    bool WriteLine(const QString& line) {
        m_lines << line;
        return true;
    }
    // Writes the lines, each ending in CR LF; false when the file could not be replaced.
    bool Commit();
    const QString& Path() const { return m_path; }
    const QStringList& Lines() const { return m_lines; }

private:
    QString m_path;
    QStringList m_lines;
};
