// qorvlog --set-values as an administrator's nightly job runs it, on real files: a billing
// export in CSV becomes a category's entries, system entries and the default kept.
#include "config/cconfigoptions.h"
#include "testsupport.h"

#include <QFileInfo>
#include <QTest>
#include <sys/stat.h>

namespace {
// Two groups with a Client list: Plotter's with system entries around its text entries.
const QByteArray kConfig =
    "[GENERAL]\r\nVersion = 2\r\nDataFile = jobs.db\r\nDisableLogging = F\r\nAllowCancel = T\r\n"
    "LogSilent = F\r\nLogAllUsers = F\r\nNumPrinterGroups = 2\r\n[PG1]\r\nPrinterGroupName = "
    "Plotter\r\nDisableLogging = F\r\nNumCategories = 1\r\n[CATEGORYPG11]\r\nCategoryName = "
    "Client\r\nVerification = 2\r\nAckDefaultValues = F\r\nAllowBlankValues = F\r\n"
    "OnlyPreDefinedValues = T\r\nNumPreDefinedValues = 4\r\nPreDefinedValue1 = 2\r\n"
    "PreDefinedValue2 = 0, 4711 | Acme\r\nPreDefinedValue3 = 1\r\nPreDefinedValue4 = 0, 0815 | "
    "Brix\r\nDefaultValue = 4\r\n[PG2]\r\nPrinterGroupName = Laser\r\nDisableLogging = F\r\n"
    "NumCategories = 1\r\n[CATEGORYPG21]\r\nCategoryName = Client\r\nVerification = 2\r\n"
    "AckDefaultValues = F\r\nAllowBlankValues = F\r\nOnlyPreDefinedValues = T\r\n"
    "NumPreDefinedValues = 1\r\nPreDefinedValue1 = 0, 4711 | Acme\r\nDefaultValue = 1\r\n";

// "\n" in a table stands for LF, "\r" for CR; "@N" is N generated rows.
QByteArray Csv(const QString& text) {
    if (text.startsWith(u'@')) {
        QByteArray rows;
        for (int i = 1; i <= text.mid(1).toInt(); ++i) rows += "C" + QByteArray::number(i) + "\n";
        return rows;
    }
    return QString(text)
        .replace(u"\\n"_s, u"\n"_s)
        .replace(u"\\r"_s, u"\r"_s)
        .toUtf8()
        .replace("\\xfc", "\xfc");
}

// Each group's entries ("#n" a system code), "=" and its default, groups joined by " / ".
QString Lists(const QString& path) {
    CConfigOptions o;
    if (!o.ReadIniFile(path)) return u"unreadable"_s;
    QStringList groups;
    for (const auto& g : o.PrinterGroups) {
        QStringList entries;
        for (const auto& v : g->Categories.Item(1)->PreDefinedValues)
            entries << (v->IsSystemEntry ? u"#"_s + QString::number(v->SystemCode) : v->EntryText);
        groups << entries.join(u';') + u'=' + QString::number(g->Categories.Item(1)->DefaultValue);
    }
    return groups.join(u" / "_s);
}
} // namespace

class TestSetValues : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // csv, the words after the file (a first one without "--" names the category instead of
    // Client), status, standard output (error when not 0; "#" a line break), the lists after
    void setValues_data() {
        Table("csv args status out lists",
              {"header, quotes, comma, non-ASCII; every group, defaults followed¦"
               "code,description\\n0815,Brix\\n4711,\"Müller, \"\"Söhne\"\"\"\\n9000\\n¦¦0¦"
               "3 added, 0 removed, 3 kept: written¦#2;#1;0815 | Brix;4711 | Müller, \"Söhne\";"
               "9000=3 / 0815 | Brix;4711 | Müller, \"Söhne\";9000=2",
               "CR LF, no header, one group¦7000,Zed\\r\\n4711\\r\\n¦--group Laser¦0¦"
               "1 added, 0 removed, 1 kept: written¦#2;4711 | Acme;#1;0815 | Brix=4 / "
               "7000 | Zed;4711=2",
               "defaults gone¦\"7000\"¦¦0¦printer group \"Plotter\", category \"Client\": the "
               "default entry \"0815 | Brix\" is gone, DefaultValue is now 0#printer group "
               "\"Laser\", category \"Client\": the default entry \"4711 | Acme\" is gone, "
               "DefaultValue is now 0#2 added, 3 removed, 0 kept: written¦#2;#1;7000=0 / 7000=0",
               "dry run writes nothing¦7000\n4711¦--group Laser --dry-run¦0¦1 added, 0 removed, 1 "
               "kept: not written (dry run)¦#2;4711 | Acme;#1;0815 | Brix=4 / 4711 | Acme=1",
               "exactly 32,767 entries with two system ones¦@32765¦--group Plotter¦0¦printer group "
               "\"Plotter\", category \"Client\": the default entry \"0815 | Brix\" is gone, "
               "DefaultValue is now 0#32765 added, 2 removed, 0 kept: written¦",
               "one more¦@32766¦¦1¦qorvlog: row 32766: more than 32,767 entries in the category "
               "\"Client\" of the printer group \"Plotter\", which keeps 2 system entries¦",
               "empty code¦4711,Acme\\n,Nobody¦¦1¦qorvlog: %1: row 2: empty code¦",
               "code twice¦code,description\\n4711,A\\n\\n4711,B¦¦1¦qorvlog: %1: row 4: the code "
               "\"4711\" given twice (first in row 2)¦",
               "line break in a field¦1,\"Acme\\nLtd\"¦¦1¦qorvlog: %1: row 1: a line break inside "
               "a field¦",
               "quote in a field¦1,A\\n2,A\"c¦¦1¦qorvlog: %1: row 2: a quote inside an unquoted "
               "field¦",
               "text after a quote¦\"1\"x¦¦1¦qorvlog: %1: row 1: text after the closing quote of "
               "a field¦",
               "quote not closed¦1,\"Acme¦¦1¦qorvlog: %1: row 1: a quoted field is not closed¦",
               "three fields¦1,A,B¦¦1¦qorvlog: %1: row 1: 3 fields, where a row is a code and an "
               "optional description¦",
               "not UTF-8¦1,A\\n2,M\\xfcller¦¦1¦qorvlog: %1: row 2: not UTF-8 text¦",
               "unknown category¦1¦Matter¦1¦qorvlog: no printer group has a "
               "category named \"Matter\"¦",
               "unknown group¦1¦--group Nope¦1¦qorvlog: no printer group is named \"Nope\"¦",
               "unknown option¦1¦--force¦2¦qorvlog: unknown option --force¦",
               "group without a name¦1¦--group¦2¦qorvlog: --group needs a value¦"});
    }
    void setValues() {
        QFETCH(QString, csv);
        QFETCH(QString, args);
        QFETCH(QString, status);
        QFETCH(QString, out);
        QFETCH(QString, lists);
        Sandbox box;
        const QString config = box.Write(u"Config.ini"_s, kConfig);
        const QString file = box.Write(u"clients.csv"_s, Csv(csv));
        QStringList words = args.split(u' ', Qt::SkipEmptyParts);
        const QString category =
            words.isEmpty() || words[0].startsWith(u'-') ? u"Client"_s : words.takeFirst();
        const ProgramResult r =
            RunProgram(QStringList{u"--set-values"_s, config, category, file} + words);
        QCOMPARE(r.status, status.toInt());
        // The usage text follows a usage error's line.
        const QString text = r.status == 0 ? r.out : r.err;
        QCOMPARE(r.status == 2 ? text.section(u'\n', 0, 0) + u'\n' : text,
                 out.replace(u"%1"_s, file).replace(u'#', u'\n') + u'\n');
        if (r.status != 0) QCOMPARE(box.Read(u"Config.ini"_s), kConfig);
        if (!lists.isEmpty()) QCOMPARE(Lists(config), lists);
        if (r.status == 0) QCOMPARE(RunProgram({u"--check-config"_s, config}).status, 0);
    }

    // Unchanged input leaves the file as it was: same inode, same time.
    void unchanged() {
        Sandbox box;
        const QString config = box.Write(u"Config.ini"_s, kConfig);
        const QStringList args{u"--set-values"_s, config, u"Client"_s,
                               box.Write(u"c.csv"_s, "4711,Acme\r\n0815,Brix\r\n")};
        QCOMPARE(RunProgram(args).status, 0);
        struct stat before {
        }, after{};
        QCOMPARE(::stat(QFile::encodeName(config).constData(), &before), 0);
        QTest::qSleep(20);
        const ProgramResult r = RunProgram(args);
        QCOMPARE(r.out, u"0 added, 0 removed, 4 kept: unchanged, not written\n"_s);
        QCOMPARE(::stat(QFile::encodeName(config).constData(), &after), 0);
        QCOMPARE(after.st_ino, before.st_ino);
        QCOMPARE(after.st_mtim.tv_sec * 1000000000 + after.st_mtim.tv_nsec,
                 before.st_mtim.tv_sec * 1000000000 + before.st_mtim.tv_nsec);
    }
};

QTEST_GUILESS_MAIN(TestSetValues)
#include "tst_setvalues.moc"
