// INI reader contract, entry reader, validation rules, configuration search, writers and the
// registry file.
#include "common/bcommon.h"
#include "common/environment.h"
#include "config/bconfigfile.h"
#include "config/bregistry.h"
#include "platform/ini_document.h"
#include "testsupport.h"

#include <QFile>
#include <QTest>

using Platform::MsgAnswer;
using Platform::MsgIcon;

class TestBConfigFile : public QObject {
    Q_OBJECT

    QString Sample(const Sandbox& box) {
        return box.WriteLines(QStringLiteral("c.ini"),
                              {QStringLiteral("; comment line"),
                               QStringLiteral("stray = before any section"),
                               QStringLiteral("[General]"),
                               QStringLiteral("Version = 2"),
                               QStringLiteral("  Spaced   =   padded value   "),
                               QStringLiteral("Blank ="),
                               QStringLiteral("List = 0, Smith ; Jones"),
                               QStringLiteral("Quoted = \"a\\tb\""),
                               QStringLiteral("Dup = first"),
                               QStringLiteral("dup = second"),
                               QStringLiteral("Eq = a=b"),
                               QStringLiteral("Flag = yes"),
                               QStringLiteral("Bad = maybe"),
                               QStringLiteral("Half = 2.5"),
                               QStringLiteral("Neg = -1"),
                               QStringLiteral("Word = lots"),
                               QStringLiteral("Huge = 1e12"),
                               QString(),
                               QStringLiteral("[other]"),
                               QStringLiteral("X = 1"),
                               QStringLiteral("[GENERAL]"),
                               QStringLiteral("Later = merged"),
                               QStringLiteral("Version = 9"),
                               QStringLiteral("[\u00fcbersicht]"),
                               QStringLiteral("Gr\u00f6sse = A4")});
    }

private Q_SLOTS:
    void readerContract() {
        Sandbox box;
        const QString path = Sample(box);
        const qint32 h = OpenIni(path);
        QVERIFY(h != 0);
        auto get = [&](const char* s, const char* k) {
            return GetIniString(QString::fromLatin1(s), QString::fromLatin1(k),
                                QStringLiteral("DEF"), h);
        };
        QCOMPARE(get("GENERAL", "version"), QStringLiteral("2")); // section and key case ignored
        QCOMPARE(get("general", "Spaced"), QStringLiteral("padded value"));
        QCOMPARE(get("General", "Blank"), QString());
        QCOMPARE(get("General", "List"), QStringLiteral("0, Smith ; Jones")); // no inline comments
        QCOMPARE(get("General", "Quoted"), QStringLiteral("\"a\\tb\"")); // no quote or escape rules
        QCOMPARE(get("General", "Dup"), QStringLiteral("first"));        // first of a repeated key
        QCOMPARE(get("General", "Eq"), QStringLiteral("a=b"));
        QCOMPARE(get("General", "Later"), QStringLiteral("merged")); // repeated section merges
        QCOMPARE(get("General", "missing"), QStringLiteral("DEF"));
        QCOMPARE(get("nosection", "X"), QStringLiteral("DEF"));
        // Letters beyond ASCII are matched without regard to case too.
        QCOMPARE(GetIniString(QStringLiteral("\u00dcBERSICHT"), QStringLiteral("gr\u00d6sse"), {}, h),
                 QStringLiteral("A4"));
        QCOMPARE(get("", "stray"), QStringLiteral("DEF"));
        QCOMPARE(GetIniString(QStringLiteral("other"), QStringLiteral("X"), QStringLiteral("D"), 0),
                 QStringLiteral("D")); // handle 0 has nothing open
        CloseIni(h);
        QCOMPARE(get("General", "Version"), QStringLiteral("DEF"));
        QCOMPARE(OpenIni(box.Path(QStringLiteral("missing.ini"))), 0);
        QCOMPARE(OpenIni(box.Path()), 0); // a folder
        QCOMPARE(OpenIni(QString()), 0);
    }
    void longValuesAndJunk() {
        Sandbox box;
        const QByteArray big(100000, 'v');
        QByteArray junk;
        for (int i = 0; i < 4096; ++i) junk += char(i % 256);
        const QString path =
            box.Write(QStringLiteral("big.ini"),
                      "[S]\r\nLong = " + big + "\r\n" + junk + "\r\n[T]\r\nK = ok\r\n");
        const qint32 h = OpenIni(path);
        QCOMPARE(GetIniString(QStringLiteral("S"), QStringLiteral("Long"), {}, h).size(), 2048);
        QCOMPARE(GetIniString(QStringLiteral("T"), QStringLiteral("K"), {}, h),
                 QStringLiteral("ok"));
        CloseIni(h);
    }
    void unchangedFileIsNotParsedAgain() {
        Sandbox box;
        const QString path = box.WriteLines(QStringLiteral("c.ini"),
                                            {QStringLiteral("[A]"), QStringLiteral("K = 1")});
        auto first = Platform::IniDocument::Open(path);
        QVERIFY(first);
        QCOMPARE(Platform::IniDocument::Open(path).get(), first.get());
        // Same size, new contents: the new stamp makes it parse again.
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("[A]\r\nK = 2\r\n");
        f.close();
        f.setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime);
        auto second = Platform::IniDocument::Open(path);
        QVERIFY(second.get() != first.get());
        QCOMPARE(*second->Find(u"a", u"k"), QStringLiteral("2"));
        QFile::remove(path);
        QVERIFY(!Platform::IniDocument::Open(path));
    }
    void getPPS() {
        Sandbox box;
        MessageRecorder rec;
        const QString path = Sample(box);
        CIniHandle h(path);
        QCOMPARE(GetPPS(QStringLiteral("General"), QStringLiteral("Spaced"), path, h.Get(), false,
                        false),
                 QStringLiteral("padded value"));
        QCOMPARE(
            GetPPS(QStringLiteral("General"), QStringLiteral("Blank"), path, h.Get(), true, false),
            QString());
        QCOMPARE(rec.Messages().size(), 0);
        QCOMPARE(
            GetPPS(QStringLiteral("General"), QStringLiteral("Blank"), path, h.Get(), false, false),
            kMissing);
        QCOMPARE(
            GetPPS(QStringLiteral("General"), QStringLiteral("Nope"), path, h.Get(), false, true),
            kMissing);
        QCOMPARE(
            GetPPS(QStringLiteral("General"), QStringLiteral("Nope"), path, h.Get(), true, false),
            kMissing);
        QCOMPARE(rec.Joined(), QStringLiteral("Entry [General].Blank is blank in file:|") + path +
                                   QStringLiteral("#Entry [General].Nope not found in file:|") +
                                   path);
        for (const auto& m : rec.Messages()) {
            QCOMPARE(m.title, QStringLiteral("Kestova Sentrel"));
            QCOMPARE(m.icon, MsgIcon::Exclamation);
        }
    }
    void rules_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("rule");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("message"); // suffix after "Entry [General]."
        QTest::newRow("strict yes") << "Flag"
                                    << "strict" << true << "1"
                                    << "";
        QTest::newRow("strict maybe") << "Bad"
                                      << "strict" << false << ""
                                      << "Bad is not valid in configuration file:";
        QTest::newRow("strict missing") << "Nope"
                                        << "strict" << false << ""
                                        << "Nope not found in file:";
        QTest::newRow("lenient maybe") << "Bad"
                                       << "lenient" << true << "0"
                                       << "";
        QTest::newRow("lenient yes") << "Flag"
                                     << "lenient" << true << "1"
                                     << "";
        QTest::newRow("lenient missing keeps") << "Nope"
                                               << "lenient" << true << "1"
                                               << "";
        QTest::newRow("lenient blank keeps") << "Blank"
                                             << "lenient" << true << "1"
                                             << "Blank is blank in file:";
        QTest::newRow("count half") << "Half"
                                    << "count" << true << "2"
                                    << "";
        QTest::newRow("count negative") << "Neg"
                                        << "count" << false << ""
                                        << "Neg is not valid in configuration file:";
        QTest::newRow("count word") << "Word"
                                    << "count" << false << ""
                                    << "Word is not numeric in configuration file:";
        QTest::newRow("count huge") << "Huge"
                                    << "count" << false << ""
                                    << "Huge is not valid in configuration file:";
        QTest::newRow("count blank") << "Blank"
                                     << "count" << false << ""
                                     << "Blank is blank in file:";
        QTest::newRow("optional blank allowed") << "Blank"
                                                << "optional-blank" << true << ""
                                                << "";
        QTest::newRow("optional blank") << "Blank"
                                        << "optional" << true << "keep"
                                        << "Blank is blank in file:";
        QTest::newRow("optional missing") << "Nope"
                                          << "optional" << true << "keep"
                                          << "";
        QTest::newRow("mandatory blank allowed") << "Blank"
                                                 << "mandatory-blank" << true << ""
                                                 << "";
        QTest::newRow("mandatory missing") << "Nope"
                                           << "mandatory-blank" << false << "keep"
                                           << "Nope not found in file:";
    }
    void rules() {
        QFETCH(QString, key);
        QFETCH(QString, rule);
        QFETCH(bool, ok);
        QFETCH(QString, value);
        QFETCH(QString, message);
        Sandbox box;
        MessageRecorder rec;
        const QString path = Sample(box);
        CIniHandle h(path);
        const CIniSource src{path, h.Get()};
        const QString section = QStringLiteral("General");
        bool result = true;
        QString got;
        if (rule == QLatin1String("strict") || rule == QLatin1String("lenient")) {
            bool flag = true;
            if (rule == QLatin1String("strict"))
                result = ReadStrictBool(src, section, key, flag);
            else
                ReadLenientBool(src, section, key, flag);
            got = result ? QString::number(flag) : QString();
        } else if (rule == QLatin1String("count")) {
            qint32 n = -5;
            result = ReadNumber(src, section, key, 0, kMaxCount, n);
            got = result ? QString::number(n) : QString();
        } else if (rule.startsWith(QLatin1String("optional"))) {
            got = QStringLiteral("keep");
            ReadOptional(src, section, key, got, rule.endsWith(QLatin1String("blank")));
        } else {
            got = QStringLiteral("keep");
            result = ReadMandatory(src, section, key, got, true);
        }
        QCOMPARE(result, ok);
        QCOMPARE(got, value);
        if (message.isEmpty())
            QCOMPARE(rec.Messages().size(), 0);
        else
            QCOMPARE(rec.Joined(),
                     QStringLiteral("Entry [General].") + message + QLatin1Char('|') + path);
    }
    void strictBoolLetters() {
        Sandbox box;
        MessageRecorder rec;
        const QString path = box.WriteLines(
            QStringLiteral("b.ini"),
            {QStringLiteral("[s]"), QStringLiteral("a = true"), QStringLiteral("b = No"),
             QStringLiteral("c = 0"), QStringLiteral("d = Y"), QStringLiteral("e = f"),
             QStringLiteral("g = 1x"), QStringLiteral("m = maybe")});
        CIniHandle h(path);
        const CIniSource src{path, h.Get()};
        const QStringList keys{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"),
                               QStringLiteral("d"), QStringLiteral("e"), QStringLiteral("g")};
        QString flags;
        for (const QString& k : keys) {
            bool v = false;
            QVERIFY(ReadStrictBool(src, QStringLiteral("s"), k, v));
            flags += v ? QLatin1Char('1') : QLatin1Char('0');
        }
        QCOMPARE(flags, QStringLiteral("100101"));
        bool v = false;
        QVERIFY(
            !ReadStrictBool(src, QStringLiteral("s"), QStringLiteral("m"), v, MsgIcon::Critical));
        QCOMPARE(rec.Messages().last().icon, MsgIcon::Critical);
    }
    void findConfigFile() {
        Sandbox box;
        MessageRecorder rec;
        gEnv.m_sLocalUserPath = box.Path(QStringLiteral("local/"));
        gEnv.m_sconfigfile = box.Path(QStringLiteral("local/qorvlog.ini"));
        gEnv.m_sOrigConfigFile = box.Path(QStringLiteral("share"));
        QString path = QStringLiteral("caller");
        // Nothing anywhere: the caller's path stays.
        QVERIFY(!FindConfigFile(path, true));
        QCOMPARE(path, QStringLiteral("caller"));
        // Only the local folder: asked even when silent; No keeps the path.
        box.Write(QStringLiteral("local/Config.ini"), "x");
        rec.Script({MsgAnswer::No});
        QVERIFY(!FindConfigFile(path, true));
        QCOMPARE(path, QStringLiteral("caller"));
        QCOMPARE(rec.Messages().size(), 1);
        const auto& m = rec.Messages()[0];
        QCOMPARE(m.buttons, Platform::MsgButtons::YesNo);
        QCOMPARE(Platform::DefaultAnswer(m), MsgAnswer::No);
        QCOMPARE(m.text,
                 QStringLiteral("Found configuration parameters file:\r") +
                     box.Path(QStringLiteral("local/Config.ini")) +
                     QStringLiteral("\r\rThis is not a standard location for this file.\rDo you "
                                    "want to continue anyway using this file?"));
        rec.Script({MsgAnswer::Yes});
        QVERIFY(FindConfigFile(path, true));
        QCOMPARE(path, box.Path(QStringLiteral("local/Config.ini")));
        // The shared location: silent takes it without asking.
        box.Write(QStringLiteral("share/Config.ini"), "x");
        rec.Clear();
        QVERIFY(FindConfigFile(path, true));
        QCOMPARE(path, box.Path(QStringLiteral("share/Config.ini")));
        QCOMPARE(rec.Messages().size(), 0);
        // The working copy wins over everything.
        box.Write(QStringLiteral("local/qorvlog.ini"), "x");
        QVERIFY(FindConfigFile(path, false));
        QCOMPARE(path, gEnv.m_sconfigfile);
    }
    void writers() {
        Sandbox box;
        CLineWriter w(box.Path(QStringLiteral("out.ini")));
        QVERIFY(WriteIniFileSection(w, QStringLiteral("GENERAL")));
        QVERIFY(WriteIniFileValue(w, QStringLiteral("Version"), QStringLiteral("2")));
        QVERIFY(
            WriteIniFileValue(w, QStringLiteral("AVeryLongKeyOfTwentyFourC"), QStringLiteral("x")));
        QVERIFY(WriteIniFileSection(w, QString()));
        QVERIFY(w.Commit());
        QCOMPARE(box.Read(QStringLiteral("out.ini")),
                 QByteArray("[GENERAL]\r\nVersion                  = "
                            "2\r\nAVeryLongKeyOfTwentyFourC = x\r\n\r\n"));
        CLineWriter bad(box.Path(QStringLiteral("no/such/folder/out.ini")));
        bad.WriteLine(QStringLiteral("x"));
        QVERIFY(!bad.Commit());
    }
    void registry() {
        Sandbox box;
        box.WriteLines(
            QStringLiteral("registry.ini"),
            {QStringLiteral("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmora Group\\Kestova Sentrel\\4]"),
             QStringLiteral("ConfigFile = /srv/kv/Config.ini"),
             QStringLiteral("Size = dword:00000100"), QStringLiteral("Bad = dword:zz")});
        QString v = QStringLiteral("old");
        const QString key = QStringLiteral("SOFTWARE\\Velmora Group\\Kestova Sentrel\\4");
        QVERIFY(GetKeyValue(kLocalMachine, key, QStringLiteral("Size"), v));
        QCOMPARE(v, QStringLiteral("256"));
        QVERIFY(GetKeyValue(kLocalMachine, key.toLower(), QStringLiteral("configfile"), v));
        QCOMPARE(v, QStringLiteral("/srv/kv/Config.ini"));
        v = QStringLiteral("old");
        QVERIFY(!GetKeyValue(kLocalMachine, key, QStringLiteral("Missing"), v));
        QVERIFY(!GetKeyValue(kCurrentUser, key, QStringLiteral("Size"), v));
        QCOMPARE(v, QStringLiteral("old"));
        QCOMPARE(GetMachineKeyValue(key, QStringLiteral("ConfigFile")),
                 QStringLiteral("/srv/kv/Config.ini"));
        QCOMPARE(GetMachineKeyValue(key, QStringLiteral("Bad")), QStringLiteral("(unknown)"));
        QCOMPARE(GetMachineKeyValue(QStringLiteral("SOFTWARE\\None"), QStringLiteral("x")),
                 QStringLiteral("(unknown)"));
        QFile::remove(box.RegistryFile());
        QCOMPARE(GetMachineKeyValue(key, QStringLiteral("ConfigFile")),
                 QStringLiteral("(unknown)"));
    }
};

QTEST_GUILESS_MAIN(TestBConfigFile)
#include "tst_bconfigfile.moc"
