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

using namespace Qt::StringLiterals;

using Platform::MsgAnswer;
using Platform::MsgIcon;

class TestBConfigFile : public QObject {
    Q_OBJECT

    QString Sample(const Sandbox& box, const QString& eol = u"\r\n"_s) {
        return box.WriteLines(u"c.ini"_s,
                              {u"; comment line"_s,
                               u"stray = before any section"_s,
                               u"[General]"_s,
                               u"Version = 2"_s,
                               u"  Spaced   =   padded value   "_s,
                               u"Blank ="_s,
                               u"List = 0, Smith ; Jones"_s,
                               u"Quoted = \"a\\tb\""_s,
                               u"Dup = first"_s,
                               u"dup = second"_s,
                               u"Eq = a=b"_s,
                               u"Flag = yes"_s,
                               u"Bad = maybe"_s,
                               u"Half = 2.5"_s,
                               u"Neg = -1"_s,
                               u"Word = lots"_s,
                               u"Huge = 1e12"_s,
                               QString(),
                               u"[other]"_s,
                               u"X = 1"_s,
                               u"[GENERAL]"_s,
                               u"Later = merged"_s,
                               u"Version = 9"_s,
                               u"[\u00fcbersicht]"_s,
                               u"Gr\u00f6sse = A4"_s},
                              eol);
    }

private Q_SLOTS:
    void readerContract_data() {
        QTest::addColumn<QString>("eol");
        QTest::newRow("CR LF") << u"\r\n"_s;
        QTest::newRow("LF") << u"\n"_s;
        QTest::newRow("CR") << u"\r"_s;
    }
    void readerContract() {
        QFETCH(QString, eol);
        Sandbox box;
        const QString path = Sample(box, eol);
        const qint32 h = OpenIni(path);
        QVERIFY(h != 0);
        auto get = [&](const char* s, const char* k) {
            return GetIniString(QString::fromLatin1(s), QString::fromLatin1(k), u"DEF"_s, h);
        };
        QCOMPARE(get("GENERAL", "version"), u"2"_s); // section and key case ignored
        QCOMPARE(get("general", "Spaced"), u"padded value"_s);
        QCOMPARE(get("General", "Blank"), QString());
        QCOMPARE(get("General", "List"), u"0, Smith ; Jones"_s); // no inline comments
        QCOMPARE(get("General", "Quoted"), u"\"a\\tb\""_s);      // no quote or escape rules
        QCOMPARE(get("General", "Dup"), u"first"_s);             // first of a repeated key
        QCOMPARE(get("General", "Eq"), u"a=b"_s);
        QCOMPARE(get("General", "Later"), u"merged"_s); // repeated section merges
        QCOMPARE(get("General", "missing"), u"DEF"_s);
        QCOMPARE(get("nosection", "X"), u"DEF"_s);
        // Letters beyond ASCII are matched without regard to case too.
        QCOMPARE(GetIniString(u"\u00dcBERSICHT"_s, u"gr\u00d6sse"_s, {}, h), u"A4"_s);
        QCOMPARE(get("", "stray"), u"DEF"_s);
        QCOMPARE(GetIniString(u"other"_s, u"X"_s, u"D"_s, 0),
                 u"D"_s); // handle 0 has nothing open
        CloseIni(h);
        QCOMPARE(get("General", "Version"), u"DEF"_s);
        QCOMPARE(OpenIni(box.Path(u"missing.ini"_s)), 0);
        QCOMPARE(OpenIni(box.Path()), 0); // a folder
        QCOMPARE(OpenIni(QString()), 0);
    }
    void longValuesAndJunk() {
        Sandbox box;
        const QByteArray big(100000, 'v');
        QByteArray junk;
        for (int i = 0; i < 4096; ++i) junk += char(i % 256);
        const QString path = box.Write(u"big.ini"_s, "[S]\r\nLong = " + big + "\r\n" + junk +
                                                         "\r\n[T]\r\nK = ok\r\n");
        const qint32 h = OpenIni(path);
        QCOMPARE(GetIniString(u"S"_s, u"Long"_s, {}, h).size(), 2048);
        QCOMPARE(GetIniString(u"T"_s, u"K"_s, {}, h), u"ok"_s);
        CloseIni(h);
    }
    void unchangedFileIsNotParsedAgain() {
        Sandbox box;
        const QString path = box.WriteLines(u"c.ini"_s, {u"[A]"_s, u"K = 1"_s});
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
        QCOMPARE(*second->Find(u"a", u"k"), u"2"_s);
        QFile::remove(path);
        QVERIFY(!Platform::IniDocument::Open(path));
    }
    void getPPS() {
        Sandbox box;
        MessageRecorder rec;
        const QString path = Sample(box);
        CIniHandle h(path);
        QCOMPARE(GetPPS(u"General"_s, u"Spaced"_s, path, h.Get(), false, false), u"padded value"_s);
        QCOMPARE(GetPPS(u"General"_s, u"Blank"_s, path, h.Get(), true, false), QString());
        QCOMPARE(rec.Messages().size(), 0);
        QCOMPARE(GetPPS(u"General"_s, u"Blank"_s, path, h.Get(), false, false), kMissing);
        QCOMPARE(GetPPS(u"General"_s, u"Nope"_s, path, h.Get(), false, true), kMissing);
        QCOMPARE(GetPPS(u"General"_s, u"Nope"_s, path, h.Get(), true, false), kMissing);
        QCOMPARE(rec.Joined(), u"Entry [General].Blank is blank in file:|"_s + path +
                                   u"#Entry [General].Nope not found in file:|"_s + path);
        for (const auto& m : rec.Messages()) {
            QCOMPARE(m.title, u"Kestova Sentrel"_s);
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
        const QString section = u"General"_s;
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
            got = u"keep"_s;
            ReadOptional(src, section, key, got, rule.endsWith(QLatin1String("blank")));
        } else {
            got = u"keep"_s;
            result = ReadMandatory(src, section, key, got, true);
        }
        QCOMPARE(result, ok);
        QCOMPARE(got, value);
        if (message.isEmpty())
            QCOMPARE(rec.Messages().size(), 0);
        else
            QCOMPARE(rec.Joined(), u"Entry [General]."_s + message + QLatin1Char('|') + path);
    }
    void strictBoolLetters() {
        Sandbox box;
        MessageRecorder rec;
        const QString path =
            box.WriteLines(u"b.ini"_s, {u"[s]"_s, u"a = true"_s, u"b = No"_s, u"c = 0"_s,
                                        u"d = Y"_s, u"e = f"_s, u"g = 1x"_s, u"m = maybe"_s});
        CIniHandle h(path);
        const CIniSource src{path, h.Get()};
        const QStringList keys{u"a"_s, u"b"_s, u"c"_s, u"d"_s, u"e"_s, u"g"_s};
        QString flags;
        for (const QString& k : keys) {
            bool v = false;
            QVERIFY(ReadStrictBool(src, u"s"_s, k, v));
            flags += v ? QLatin1Char('1') : QLatin1Char('0');
        }
        QCOMPARE(flags, u"100101"_s);
        bool v = false;
        QVERIFY(!ReadStrictBool(src, u"s"_s, u"m"_s, v, MsgIcon::Critical));
        QCOMPARE(rec.Messages().last().icon, MsgIcon::Critical);
    }
    void findConfigFile() {
        Sandbox box;
        MessageRecorder rec;
        gEnv.m_sLocalUserPath = box.Path(u"local/"_s);
        gEnv.m_sconfigfile = box.Path(u"local/qorvlog.ini"_s);
        gEnv.m_sOrigConfigFile = box.Path(u"share"_s);
        QString path = u"caller"_s;
        // Nothing anywhere: the caller's path stays.
        QVERIFY(!FindConfigFile(path, true));
        QCOMPARE(path, u"caller"_s);
        // Only the local folder: asked even when silent; No keeps the path.
        box.Write(u"local/Config.ini"_s, "x");
        rec.Script({MsgAnswer::No});
        QVERIFY(!FindConfigFile(path, true));
        QCOMPARE(path, u"caller"_s);
        QCOMPARE(rec.Messages().size(), 1);
        const auto& m = rec.Messages()[0];
        QCOMPARE(m.buttons, Platform::MsgButtons::YesNo);
        QCOMPARE(Platform::DefaultAnswer(m), MsgAnswer::No);
        QCOMPARE(m.text,
                 u"Found configuration parameters file:\r"_s + box.Path(u"local/Config.ini"_s) +
                     QStringLiteral("\r\rThis is not a standard location for this file.\rDo you "
                                    "want to continue anyway using this file?"));
        rec.Script({MsgAnswer::Yes});
        QVERIFY(FindConfigFile(path, true));
        QCOMPARE(path, box.Path(u"local/Config.ini"_s));
        // The shared location: silent takes it without asking.
        box.Write(u"share/Config.ini"_s, "x");
        rec.Clear();
        QVERIFY(FindConfigFile(path, true));
        QCOMPARE(path, box.Path(u"share/Config.ini"_s));
        QCOMPARE(rec.Messages().size(), 0);
        // The working copy wins over everything.
        box.Write(u"local/qorvlog.ini"_s, "x");
        QVERIFY(FindConfigFile(path, false));
        QCOMPARE(path, gEnv.m_sconfigfile);
    }
    void writers() {
        Sandbox box;
        CLineWriter w(box.Path(u"out.ini"_s));
        QVERIFY(WriteIniFileSection(w, u"GENERAL"_s));
        QVERIFY(WriteIniFileValue(w, u"Version"_s, u"2"_s));
        QVERIFY(WriteIniFileValue(w, u"AVeryLongKeyOfTwentyFourC"_s, u"x"_s));
        QVERIFY(WriteIniFileSection(w, QString()));
        QVERIFY(w.Commit());
        QCOMPARE(box.Read(u"out.ini"_s), QByteArray("[GENERAL]\r\nVersion                  = "
                                                    "2\r\nAVeryLongKeyOfTwentyFourC = x\r\n\r\n"));
        CLineWriter bad(box.Path(u"no/such/folder/out.ini"_s));
        bad.WriteLine(u"x"_s);
        QVERIFY(!bad.Commit());
    }
    void registry() {
        Sandbox box;
        box.WriteLines(u"registry.ini"_s,
                       {u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmora Group\\Kestova Sentrel\\4]"_s,
                        u"ConfigFile = /srv/kv/Config.ini"_s, u"Size = dword:00000100"_s,
                        u"Bad = dword:zz"_s});
        QString v = u"old"_s;
        const QString key = u"SOFTWARE\\Velmora Group\\Kestova Sentrel\\4"_s;
        QVERIFY(GetKeyValue(kLocalMachine, key, u"Size"_s, v));
        QCOMPARE(v, u"256"_s);
        QVERIFY(GetKeyValue(kLocalMachine, key.toLower(), u"configfile"_s, v));
        QCOMPARE(v, u"/srv/kv/Config.ini"_s);
        v = u"old"_s;
        QVERIFY(!GetKeyValue(kLocalMachine, key, u"Missing"_s, v));
        QVERIFY(!GetKeyValue(kCurrentUser, key, u"Size"_s, v));
        QCOMPARE(v, u"old"_s);
        QCOMPARE(GetMachineKeyValue(key, u"ConfigFile"_s), u"/srv/kv/Config.ini"_s);
        QCOMPARE(GetMachineKeyValue(key, u"Bad"_s), u"(unknown)"_s);
        QCOMPARE(GetMachineKeyValue(u"SOFTWARE\\None"_s, u"x"_s), u"(unknown)"_s);
        QFile::remove(box.RegistryFile());
        QCOMPARE(GetMachineKeyValue(key, u"ConfigFile"_s), u"(unknown)"_s);
    }
};

QTEST_GUILESS_MAIN(TestBConfigFile)
#include "tst_bconfigfile.moc"
