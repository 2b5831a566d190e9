// INI reader contract, configuration search, writers and the registry file; the entry rules
// are pinned through whole configurations in tst_configoptions.
#include "common/environment.h"
#include "config/bconfigfile.h"
#include "config/bregistry.h"
#include "platform/ini_document.h"
#include "testsupport.h"

#include <QFile>
#include <QTest>

using namespace Qt::StringLiterals;

using Platform::MsgAnswer;

class TestBConfigFile : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void readerContract() {
        Sandbox box;
        const qint32 h = OpenIni(box.WriteLines(
            u"c.ini"_s,
            u"; comment line\nstray = before any section\n[General]\nVersion = 2\n"
            "  Spaced   =   padded value   \nBlank =\nList = 0, Smith ; Jones\n"
            "Quoted = \"a\\tb\"\nDup = first\ndup = second\nEq = a=b\n\n[other]\nX = 1\n"
            "[GENERAL]\nLater = merged\nVersion = 9\n[\u00fcbersicht]\nGr\u00f6sse = A4"_s.split(
                u'\n')));
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
        QCOMPARE(got.join(u'|'),
                 u"2|padded value||0, Smith ; Jones|\"a\\tb\"|first|a=b|merged|DEF|DEF|A4|DEF"_s);
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
        box.Write(u"c.ini"_s, "[A]\r\nK = 2\r\n");
        QVERIFY(TouchFile(path, 5));
        auto second = Platform::IniDocument::Open(path);
        QVERIFY(second.get() != first.get());
        QCOMPARE(*second->Find(u"a", u"k"), u"2"_s);
        QFile::remove(path);
        QVERIFY(!Platform::IniDocument::Open(path));
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
