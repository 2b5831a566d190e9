// INI reader contract, entry reader, validation rules, configuration search, writers and the
// registry file.
#include "common/bcommon.h"
#include "common/environment.h"
#include "config/bconfigfile.h"
#include "config/bregistry.h"
#include "platform/ini_document.h"
#include "testsupport.h"

#include <QFile>
#include <QMap>
#include <QTest>

using namespace Qt::StringLiterals;

using Platform::MsgAnswer;
using Platform::MsgIcon;

class TestBConfigFile : public QObject {
    Q_OBJECT

    QString Sample(const Sandbox& box) {
        return box.WriteLines(
            u"c.ini"_s,
            u"; comment line\nstray = before any section\n[General]\nVersion = 2\n"
            "  Spaced   =   padded value   \nBlank =\nList = 0, Smith ; Jones\n"
            "Quoted = \"a\\tb\"\nDup = first\ndup = second\nEq = a=b\nFlag = yes\nBad = maybe\n"
            "Half = 2.5\nNeg = -1\nWord = lots\nHuge = 1e12\nT = true\nN = No\nZ = 0\nY = Y\nF = "
            "f\n"
            "G = 1x\n\n[other]\nX = 1\n[GENERAL]\n"
            "Later = merged\nVersion = 9\n[\u00fcbersicht]\nGr\u00f6sse = A4"_s.split(u'\n'));
    }

private Q_SLOTS:
    void readerContract() {
        Sandbox box;
        const qint32 h = OpenIni(Sample(box));
        QVERIFY(h != 0);
        QStringList got;
        // Section and key case ignored, also beyond ASCII; no inline comments, quotes or
        // escapes; the first of a repeated key; a repeated section merges; nothing before the
        // first section.
        for (const char* sk :
             {"GENERAL/version", "general/Spaced", "General/Blank", "General/List",
              "General/Quoted", "General/Dup", "General/Eq", "General/Later", "General/missing",
              "nosection/X", "\u00dcBERSICHT/gr\u00d6sse", "/stray"})
            got << GetIniString(QString::fromUtf8(sk).section(u'/', 0, 0),
                                QString::fromUtf8(sk).section(u'/', 1), u"DEF"_s, h);
        QCOMPARE(got, QStringList({u"2"_s,
                                   u"padded value"_s,
                                   {},
                                   u"0, Smith ; Jones"_s,
                                   u"\"a\\tb\""_s,
                                   u"first"_s,
                                   u"a=b"_s,
                                   u"merged"_s,
                                   u"DEF"_s,
                                   u"DEF"_s,
                                   u"A4"_s,
                                   u"DEF"_s}));
        QCOMPARE(GetIniString(u"other"_s, u"X"_s, u"D"_s, 0), u"D"_s); // 0 has nothing open
        CloseIni(h);
        QCOMPARE(GetIniString(u"General"_s, u"Version"_s, u"DEF"_s, h), u"DEF"_s);
        QVERIFY(!OpenIni(box.Path(u"missing.ini"_s)) && !OpenIni(box.Path()) && !OpenIni({}));
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
        const QStringList got{GetPPS(u"General"_s, u"Spaced"_s, path, h.Get(), false, false),
                              GetPPS(u"General"_s, u"Blank"_s, path, h.Get(), true, false),
                              GetPPS(u"General"_s, u"Blank"_s, path, h.Get(), false, false),
                              GetPPS(u"General"_s, u"Nope"_s, path, h.Get(), false, true),
                              GetPPS(u"General"_s, u"Nope"_s, path, h.Get(), true, false)};
        QCOMPARE(got, QStringList({u"padded value"_s, {}, kMissing, kMissing, kMissing}));
        QCOMPARE(rec.Joined(), u"Entry [General].Blank is blank in file:|"_s + path +
                                   u"#Entry [General].Nope not found in file:|"_s + path);
        for (const auto& m : rec.Messages())
            QVERIFY(m.title == u"Kestova Sentrel"_s && m.icon == MsgIcon::Exclamation);
    }
    // The key of the sample, the rule, the value read ("-": refused) and the message about
    // the key.
    void rules_data() {
        Table("key rule value message", {"strict yes¦Flag¦strict¦1¦",
                                         "strict maybe¦Bad¦strict¦-¦valid",
                                         "strict missing¦Nope¦strict¦-¦not found",
                                         "lenient maybe¦Bad¦lenient¦0¦",
                                         "lenient yes¦Flag¦lenient¦1¦",
                                         "lenient missing keeps¦Nope¦lenient¦1¦",
                                         "lenient blank keeps¦Blank¦lenient¦1¦blank",
                                         "count half¦Half¦count¦2¦",
                                         "count negative¦Neg¦count¦-¦valid",
                                         "count word¦Word¦count¦-¦numeric",
                                         "count huge¦Huge¦count¦-¦valid",
                                         "count blank¦Blank¦count¦-¦blank",
                                         "optional blank allowed¦Blank¦optional-blank¦¦",
                                         "optional blank¦Blank¦optional¦keep¦blank",
                                         "optional missing¦Nope¦optional¦keep¦",
                                         "mandatory blank allowed¦Blank¦mandatory¦¦",
                                         "mandatory missing¦Nope¦mandatory¦-¦not found",
                                         "strict true¦T¦strict¦1¦",
                                         "strict No¦N¦strict¦0¦",
                                         "strict 0¦Z¦strict¦0¦",
                                         "strict Y¦Y¦strict¦1¦",
                                         "strict f¦F¦strict¦0¦",
                                         "strict 1x¦G¦strict¦1¦"});
    }
    void rules() {
        QFETCH(QString, key);
        QFETCH(QString, rule);
        QFETCH(QString, value);
        QFETCH(QString, message);
        Sandbox box;
        MessageRecorder rec;
        const QString path = Sample(box), section = u"General"_s;
        CIniHandle h(path);
        const CIniSource src{path, h.Get()};
        bool result = true, flag = true;
        qint32 n = -5;
        QString got = u"keep"_s;
        if (rule == u"strict"_s) result = ReadStrictBool(src, section, key, flag);
        if (rule == u"lenient"_s) ReadLenientBool(src, section, key, flag);
        if (rule.startsWith(u"optional"_s))
            ReadOptional(src, section, key, got, rule.endsWith(u"blank"_s));
        if (rule == u"mandatory"_s) result = ReadMandatory(src, section, key, got, true);
        if (rule == u"count"_s) result = ReadNumber(src, section, key, 0, kMaxCount, n);
        if (rule == u"count"_s) got = QString::number(n);
        if (rule == u"strict"_s || rule == u"lenient"_s) got = QString::number(flag);
        QCOMPARE(result ? got : u"-"_s, value);
        const QMap<QString, QString> forms{
            {u"valid"_s, u" is not valid in configuration file:"_s},
            {u"numeric"_s, u" is not numeric in configuration file:"_s},
            {u"not found"_s, u" not found in file:"_s},
            {u"blank"_s, u" is blank in file:"_s}};
        QCOMPARE(rec.Joined(), message.isEmpty()
                                   ? QString()
                                   : u"Entry [General]."_s + key + forms[message] + u"|"_s + path);
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
        const QString key = u"SOFTWARE\\Velmora Group\\Kestova Sentrel\\4"_s;
        box.WriteLines(u"registry.ini"_s, {u"[HKEY_LOCAL_MACHINE\\"_s + key + u"]"_s,
                                           u"ConfigFile = /srv/Config.ini"_s,
                                           u"Size = dword:00000100"_s, u"Bad = dword:zz"_s});
        QString size = u"old"_s, file, missing = u"old"_s;
        QVERIFY(GetKeyValue(kLocalMachine, key, u"Size"_s, size));
        QVERIFY(GetKeyValue(kLocalMachine, key.toLower(), u"configfile"_s, file));
        QVERIFY(!GetKeyValue(kLocalMachine, key, u"Missing"_s, missing));
        QVERIFY(!GetKeyValue(kCurrentUser, key, u"Size"_s, missing));
        QCOMPARE(size + u" "_s + file + u" "_s + missing, u"256 /srv/Config.ini old"_s);
        QCOMPARE(QStringList({GetMachineKeyValue(key, u"ConfigFile"_s),
                              GetMachineKeyValue(key, u"Bad"_s),
                              GetMachineKeyValue(u"SOFTWARE\\None"_s, u"x"_s)}),
                 QStringList({u"/srv/Config.ini"_s, u"(unknown)"_s, u"(unknown)"_s}));
        QFile::remove(box.RegistryFile());
        QCOMPARE(GetMachineKeyValue(key, u"ConfigFile"_s), u"(unknown)"_s);
    }
};

QTEST_GUILESS_MAIN(TestBConfigFile)
#include "tst_bconfigfile.moc"
