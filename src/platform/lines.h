#pragma once
// The lines of a text. Files come from every kind of machine: CR LF, LF and a lone CR each
// end a line, and a last line without an end counts.
#include <QByteArrayView>
#include <QStringView>

namespace Platform {

// Calls visit(line) for each line of text (a QStringView or QByteArrayView, the line a view
// of the same kind); visit returns false to stop.
template <class View, class F> void ForEachLine(View text, F&& visit) {
    const qsizetype size = text.size();
    qsizetype start = 0;
    while (start < size) {
        qsizetype end = start;
        while (end < size && text[end] != u'\n' && text[end] != u'\r') ++end;
        if (!visit(text.sliced(start, end - start))) return;
        if (end + 1 < size && text[end] == u'\r' && text[end + 1] == u'\n') ++end;
        start = end + 1;
    }
}

} // namespace Platform
