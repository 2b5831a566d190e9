// Category rules, the pattern language, predefined value entries and category values.
#include "categories/ccategory.h"
#include "config/bconfigfile.h"
#include "jobs/cprintjobinfo.h"
#include "testsupport.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestCategories : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void matchPattern_data() {
        Table("text pattern match",
              {"five digits¦12345¦#####¦1", "length differs¦12345¦####¦0",
               "digits and letter¦12a45¦##@##¦1", "letter where digit¦12a45¦#####¦0",
               "literal case¦AB-1¦ab-#¦0", "literal¦ab-1¦ab-#¦1", "non-ascii letter¦\u00e9¦@¦0",
               "non-ascii digit¦\u0663¦#¦0", "both empty¦¦¦1"});
    }
    void matchPattern() {
        QFETCH(QString, text);
        QFETCH(QString, pattern);
        QTEST(QString::number(MatchPattern(text, pattern)), "match");
    }
    // Shown when verification asks for it, and "Cost" (exactly so) always.
    void displayRequired() {
        CCategory c;
        QString shown;
        for (const char* name : {"Client", "Cost", "cost"})
            for (int v = 0; v < 3; ++v)
                for (bool known : {false, true}) {
                    c.CategoryName = QString::fromLatin1(name);
                    c.Verification = v;
                    shown += QString::number(c.DisplayRequired(known));
                }
        QCOMPARE(shown, u"001011 111111 001011"_s.remove(u' '));
    }
    // The value written, read back as text or system code ("-": refused with a message).
    void entries_data() {
        Table("value code description kind",
              {"text¦0,Acme¦0¦Acme¦-", "text spaced¦0,   Acme Ltd  ¦0¦Acme Ltd¦-",
               "text looks like code¦0, Printer Name¦0¦Printer Name¦-",
               "printer¦10¦10¦Printer Name¦system", "10.4¦10.4¦10¦Printer Name¦system",
               "total¦25¦25¦Total Pages¦calculated", "reserved¦43¦43¦RESERVED¦system",
               "level 5¦85¦85¦Document Directory Level 5¦calculated",
               "level 8¦88¦88¦Document Directory Level 8¦calculated",
               "auto¦90¦90¦Auto Directory Level¦calculated", "0¦0¦-¦¦", "19¦19¦-¦¦", "44¦44¦-¦¦",
               "91¦91¦-¦¦", "space before comma¦0 ,Acme¦-¦¦"});
    }
    void entries() {
        QFETCH(QString, value);
        QFETCH(QString, code);
        QFETCH(QString, description);
        QFETCH(QString, kind);
        Sandbox box;
        MessageRecorder rec;
        const QString path =
            box.WriteLines(u"c.ini"_s, {u"[S]"_s, u"PreDefinedValue1 = "_s + value});
        CIniHandle h(path);
        CPreDefinedValue v;
        const bool ok = v.ReadIniFile(2, path, h.Get(), u"S"_s, u"PreDefinedValue1"_s);
        QCOMPARE(ok ? QString::number(v.SystemCode) : u"-"_s, code);
        QCOMPARE(rec.Messages().size(), ok ? 0 : 1);
        QCOMPARE(v.IsSystemEntry, code != u"0"_s);
        if (!ok) return;
        QCOMPARE(v.Description(), description);
        QCOMPARE(v.IsSystemValue()       ? u"system"_s
                 : v.IsCalculatedValue() ? u"calculated"_s
                                         : u"-"_s,
                 kind);
    }
    // Found by fuzzing: a value's description after " | " is dropped, never a part of the
    // category's name.
    void barInCategoryName() {
        Sandbox box;
        CPrintJobInfo job = SampleJob();
        auto value = job.CategoryValues.NewCCategoryValue();
        value->ValueName = u"Client | Matter"_s;
        value->ValueString = u"4711 | Acme"_s;
        QString path = box.Path(u"JOB1.dat"_s);
        QVERIFY(job.SaveToFile(path));
        QCOMPARE(box.Read(u"JOB1.dat"_s).split('\n').value(1),
                 QByteArray("QorvexDetail,2,\"Client | Matter\",\"4711\r"));
        CPrintJobInfo read;
        QVERIFY(read.ReadFromFile(path));
        QCOMPARE(JobDump(read).section(u'\n', 23), u"Value=Client | Matter | 4711 | 4711"_s);
    }
};

QTEST_GUILESS_MAIN(TestCategories)
#include "tst_categories.moc"
