// The INI reader on any bytes: the same text with CR LF, LF or CR line ends is the same
// document.
#include "fuzzsupport.h"
#include "platform/files.h"
#include "platform/ini_document.h"

namespace {
QByteArray WithLineEnds(const QByteArray& bytes, const char* eol) {
    QByteArray out = bytes;
    out.replace("\r\n", "\n").replace('\r', "\n");
    return out.replace("\n", eol);
}

QString Found(const Platform::IniDocument& doc, const QString& section, const QString& key) {
    const auto v = doc.Find(section, key);
    return v ? u"="_s + v->toString() : u"(none)"_s;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ResetWorld();
    const QByteArray bytes = Bytes(data, size);
    const auto doc = Platform::IniDocument::Parse(bytes);

    // The names the text mentions, to look up in each form.
    QStringList sections{u"GENERAL"_s}, keys{u"Version"_s};
    for (const QString& line : Platform::DecodeText(bytes).split(QLatin1Char('\n'))) {
        const QString t = line.trimmed();
        if (sections.size() >= 16 || keys.size() >= 32) break;
        if (t.startsWith(QLatin1Char('[')))
            sections << t.mid(1, t.indexOf(QLatin1Char(']')) - 1);
        else if (t.contains(QLatin1Char('=')))
            keys << t.left(t.indexOf(QLatin1Char('=')));
    }
    for (const char* eol : {"\r\n", "\n", "\r"}) {
        const auto other = Platform::IniDocument::Parse(WithLineEnds(bytes, eol));
        if (other->EntryCount() != doc->EntryCount())
            Broken("line ends do not change the entries", QString::number(doc->EntryCount()),
                   QString::number(other->EntryCount()));
        for (const QString& s : sections) {
            if (other->HasSection(s) != doc->HasSection(s))
                Broken("line ends do not change the sections", s, QString::fromLatin1(eol));
            for (const QString& k : keys)
                if (Found(*other, s, k) != Found(*doc, s, k))
                    Broken("line ends do not change the values", Found(*doc, s, k),
                           Found(*other, s, k));
        }
    }
    return 0;
}
