// Reading and writing the configuration tree: general options, printer groups, categories and
// predefined values, with the messages of broken files; the category rules; the INI reader
// beneath, the search for the file and the registry file.
#include "categories/ccategory.h"
#include "common/environment.h"
#include "config/bconfigfile.h"
#include "config/bregistry.h"
#include "config/cconfigoptions.h"
#include "platform/ini_document.h"
#include "testsupport.h"

#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTest>
#include <optional>

using namespace Qt::StringLiterals;

using Platform::MsgAnswer;

class TestConfigOptions : public QObject {
    Q_OBJECT
    std::optional<Sandbox> box;
    std::optional<MessageRecorder> rec;

private Q_SLOTS:
    void init() {
        box.emplace();
        rec.emplace();
    }
    void cleanup() {
        rec.reset();
        box.reset();
    }
    // Each sample read as a whole tree (SIMMonitor on), written, read back to the same tree
    // and written again byte for byte.
    void readWriteRead_data() {
        Table(
            "sample tree",
            {"v2¦config_v2.ini¦"
             "Version=2 DataFile=jobs.db DisableLogging=0 LogSilent=0 AllowCancel=1 LogAllUsers=0\n"
             "LoggingMachine=Default FileServers=fs1 AutoUpdateLocation= DataPath= DisplayAfter=1\n"
             "User=Unlimited/Dollars/100/Now/Forever/Cancel Printing\nFlags=0000010000001\n"
             "Group=Plotter DisableLogging=0 LogSilent=0 PauseUntilAck=1 Redirect=10.0.0.7\n"
             "  Category=Client Verification=2 Ack=1 Blank=0 Only=1 Mask=0 Pattern=Any Default=3\n"
             "    Text=Acme Ltd\n    Text=Smith ; Jones\n    Code=2\n"
             "  Category=Cost Verification=0 Ack=0 Blank=1 Only=0 Mask=0 Pattern=Any Default=1\n"
             "    Text=0.25 - ($)Cost per square foot\n    Code=37\n"
             "Group=Default DisableLogging=0 LogSilent=1 PauseUntilAck=0 Redirect=Enter IP "
             "Address Here\n"
             "  Category=Pages Verification=1 Ack=0 Blank=0 Only=0 Mask=1 Pattern=#### Default=1\n"
             "    Code=25",
             "v1: one default group¦config_v1.ini¦"
             "Version=1 DataFile=old.mdb DisableLogging=0 LogSilent=0 AllowCancel=1 LogAllUsers=0\n"
             "LoggingMachine=Default FileServers= AutoUpdateLocation= DataPath= DisplayAfter=1\n"
             "User=Unlimited/Dollars/100/Now/Forever/Cancel Printing\nFlags=0000010000001\n"
             "Group=Default DisableLogging=0 LogSilent=0 PauseUntilAck=0 Redirect=Enter IP "
             "Address Here\n"
             "  Category=Matter Verification=1 Ack=0 Blank=0 Only=0 Mask=0 Pattern=Any Default=0\n"
             "  Category=Printer Verification=0 Ack=0 Blank=1 Only=0 Mask=0 Pattern=Any Default=1\n"
             "    Code=10"});
    }
    void readWriteRead() {
        QFETCH(QString, sample);
        QFETCH(QString, tree);
        CConfigOptions o, back, copy;
        QVERIFY(o.ReadIniFile(
            box->Write(u"in.ini"_s, IniEdits(TestData(sample), {u"GENERAL/SIMMonitor=Yes"_s}))));
        QCOMPARE(ConfigDump(o), tree);
        QVERIFY(o.WriteIniFile(box->Path(u"out.ini"_s)));
        QVERIFY(back.ReadIniFile(box->Path(u"out.ini"_s)));
        o.Version = 2; // written as version 2, without SIMMonitor
        o.SIMMonitor = false;
        QCOMPARE(ConfigDump(back), ConfigDump(o));
        QVERIFY(back.WriteIniFile(box->Path(u"again.ini"_s)));
        QCOMPARE(box->Read(u"again.ini"_s), box->Read(u"out.ini"_s));
        if (sample == u"config_v2.ini"_s) // written as the sample is, with CR LF
            QCOMPARE(box->Read(u"out.ini"_s), TestData(sample).replace("\n", "\r\n"));
        QCOMPARE(rec->Joined(), QString());
        // A copy is deep, also onto itself.
        copy.Equals(o);
        copy.Equals(copy);
        QCOMPARE(ConfigDump(copy), ConfigDump(o));
        auto& cats = copy.PrinterGroups.Item(1)->Categories;
        auto& values = cats.Item(cats.Count())->PreDefinedValues;
        values.Item(values.Count())->SystemCode = 99;
        QCOMPARE(ConfigDump(o), ConfigDump(back));
    }
    // An unexpected error names its procedure and says where to turn.
    void fullDiskSaysSo() {
        CConfigOptions o;
        QVERIFY(o.ReadIniFile(box->Write(u"in.ini"_s, TestData(u"config_v1.ini"_s))));
        FailingDevice device(1000);
        QVERIFY(!o.WriteIniFile(box->Path(u"out.ini"_s)));
        QCOMPARE(rec->Joined(), u"Unexpected error 61 in procedure 'CConfigOptions::WriteIniFile':|"
                                "Disk full||Please contact us at|"_s +
                                    gEnv.SupportContact() + u" with the above information."_s);
        QCOMPARE(std::pair(rec->Messages()[0].title, rec->Messages()[0].icon),
                 std::pair(u"Kestova Sentrel"_s, Platform::MsgIcon::Exclamation));
    }

    // Edits of the v2 sample, naming the row (";" between them, "~" removes the key), the message
    // about the edited entry ("!": critical) or another whole message ("|" last: the file's path
    // follows) and, when the file is taken, a line the tree shows.
    void edits_data() {
        Table("message shows",
              {"GENERAL/Version~¦not found¦",
               "GENERAL/Version=3¦!The configuration file version (3) is not supported by this "
               "version of Kestova Sentrel.||Please upgrade to the lastest version of Kestova "
               "Sentrel.¦",
               "GENERAL/Version=0¦¦", // refused without a word
               "GENERAL/Version=two¦numeric¦",
               "GENERAL/Version=1e12¦valid¦",
               "GENERAL/DataFile=¦¦DataFile= ",
               "GENERAL/DataFile~¦not found¦",
               "GENERAL/DisableLogging=xyz¦valid¦",
               "GENERAL/PauseUntilAck=xyz¦¦Flags=0000010000000",
               "GENERAL/DisplayToUserOnly=¦blank¦Flags=0000010000000",
               "GENERAL/DisplayToUserOnly=0¦¦Flags=0000000000000",
               "GENERAL/LoggingMachine=¦¦LoggingMachine=Default ",
               "GENERAL/UserTimeFrame=Daily;GENERAL/UserPrintUnits=Pages;GENERAL/UserLimit=5;"
               "GENERAL/UserFromTime=9:00;GENERAL/UserUntilTime=17:00;GENERAL/UserAction=Warn¦¦"
               "User=Daily/Pages/5/9:00/17:00/Warn\n",
               "GENERAL/NumPrinterGroups=32767¦Entry [PG3].PrinterGroupName not found in file:|¦",
               "GENERAL/NumPrinterGroups=32768¦valid¦",
               "GENERAL/NumPrinterGroups=-1¦valid¦",
               "GENERAL/NumPrinterGroups=1.5¦¦Group=Default",
               "GENERAL/NumPrinterGroups=many¦numeric¦",
               "GENERAL/NumPrinterGroups~¦not found¦",
               "PG1/DisableLogging~¦not found¦",
               "PG1/DisableLogging=Maybe¦!valid¦",
               "PG1/DisableLogging=no¦¦Group=Plotter DisableLogging=0 ",
               "PG1/DisableLogging=1x¦¦Group=Plotter DisableLogging=1 ",
               "PG2/PrinterGroupName=¦blank¦",
               "PG1/Redirect=¦blank¦Redirect=Enter IP Address Here\n  Category=Client",
               "PG1/Redirect=tRuE¦¦Redirect=Enter IP Address Here\n  Category=Client",
               "PG1/LogSilent=¦blank¦Group=Plotter DisableLogging=0 LogSilent=0",
               "PG1/LogSilent=yes¦¦Group=Plotter DisableLogging=0 LogSilent=1",
               "PG2/LogSilent=x¦¦Group=Default DisableLogging=0 LogSilent=0",
               "PG2/NumCategories=32767¦Entry [CATEGORYPG22].CategoryName not found in file:|¦",
               "CATEGORYPG11/Verification=3¦valid¦",
               "CATEGORYPG11/Verification=2.4¦¦Category=Client Verification=2 ",
               "CATEGORYPG11/Verification=high¦numeric¦",
               "CATEGORYPG11/Verification=¦blank¦",
               "CATEGORYPG11/AckDefaultValues~¦not found¦",
               "CATEGORYPG11/DefaultValue=4¦valid¦",
               "CATEGORYPG11/DefaultValue=3¦¦Only=1 Mask=0 Pattern=Any Default=3",
               "CATEGORYPG11/Pattern=¦¦Only=1 Mask=0 Pattern=Any Default=3",
               "CATEGORYPG21/MaskUserInput~¦¦Mask=0 Pattern=####",
               "CATEGORYPG11/PreDefinedValue3=19¦valid¦",
               "CATEGORYPG11/PreDefinedValue3=0¦valid¦",
               "CATEGORYPG11/PreDefinedValue3=40000¦valid¦",
               "CATEGORYPG11/PreDefinedValue1=0 , Acme¦numeric¦",
               "CATEGORYPG11/NumPreDefinedValues=32767¦Entry [CATEGORYPG11].PreDefinedValue4 not "
               "found in file:|¦",
               "CATEGORYPG11/NumPreDefinedValues=2.5¦Entry [CATEGORYPG11].DefaultValue is not "
               "valid in configuration file:|¦"});
    }
    void edits() {
        const QString edit = QString::fromUtf8(QTest::currentDataTag());
        QFETCH(QString, message);
        QFETCH(QString, shows);
        QStringList edits = edit.split(u';');
        for (QString& e : edits)
            if (e.endsWith(u'~')) e.chop(1);
        const QString path =
            box->Write(u"Config.ini"_s, IniEdits(TestData(u"config_v2.ini"_s), edits));
        CConfigOptions o;
        QCOMPARE(o.ReadIniFile(path), !shows.isEmpty());
        const bool critical = message.startsWith(u'!');
        if (critical) message.remove(0, 1);
        const QString entry = u"Entry [%1]."_s.arg(edit.section(u'/', 0, 0)) +
                              edit.section(u'/', 1).section(u'=', 0, 0).remove(u'~');
        const QMap<QString, QString> forms{
            {u"valid"_s, u" is not valid in configuration file:|"_s},
            {u"numeric"_s, u" is not numeric in configuration file:|"_s},
            {u"not found"_s, u" not found in file:|"_s},
            {u"blank"_s, u" is blank in file:|"_s}};
        if (forms.contains(message)) message = entry + forms[message];
        if (message.endsWith(u'|')) message += path;
        QCOMPARE(rec->Joined(), message);
        const auto icon = critical ? Platform::MsgIcon::Critical : Platform::MsgIcon::Exclamation;
        for (const auto& m : rec->Messages())
            QCOMPARE(std::pair(m.title, m.icon), std::pair(u"Kestova Sentrel"_s, icon));
        if (!shows.isEmpty()) QVERIFY2(ConfigDump(o).contains(shows), qPrintable(ConfigDump(o)));
    }
    void unreadableFiles() {
        CConfigOptions o;
        QByteArray junk;
        for (int i = 0; i < 70000; ++i) junk += char((i * 7919) % 256);
        const QString missing = box->Path(u"gone.ini"_s), j = box->Write(u"junk.ini"_s, junk);
        QVERIFY(!o.ReadIniFile(missing) && !o.ReadIniFile(j));
        QCOMPARE(GetGeneralOption(missing, u"DataFile"_s), QString());
        QCOMPARE(rec->Joined(),
                 u"Unable to open configuration file:|%1#Entry [GENERAL].Version not "
                 "found in file:|%2#Unable to open configuration file:|%1"_s.arg(missing, j));
    }
    // Group 1 category 11 and group 11 category 1 both read [CATEGORYPG111].
    void sharedCategorySection() {
        QStringList edits{u"General/Version=2"_s, u"General/NumPrinterGroups=11"_s};
        for (int g = 1; g <= 11; ++g)
            edits << u"PG%1/PrinterGroupName=G%1"_s.arg(g) << u"PG%1/DisableLogging=F"_s.arg(g)
                  << u"PG%1/NumCategories=%2"_s.arg(g).arg(g == 1 ? 11 : int(g == 11));
        for (int c = 1; c <= 11; ++c)
            for (const char* k : {"CategoryName=Cat %1", "AckDefaultValues=F", "AllowBlankValues=F",
                                  "OnlyPreDefinedValues=F", "Verification=0",
                                  "NumPreDefinedValues=0", "DefaultValue=0"})
                edits << u"CATEGORYPG1%1/"_s.arg(c) + QString::fromLatin1(k).arg(c);
        CConfigOptions o;
        QVERIFY(
            o.ReadIniFile(box->Write(u"c.ini"_s, IniEdits(TestData(u"config_v1.ini"_s), edits))));
        QCOMPARE(rec->Joined(), QString());
        QCOMPARE(o.PrinterGroups.Item(11)->Categories.Item(1)->CategoryName, u"Cat 11"_s);
        QCOMPARE(o.PrinterGroups.Item(1)->Categories.Item(11)->CategoryName, u"Cat 11"_s);
    }
    void standAloneLookups() {
        const QString cfg = box->Write(u"share/Config.ini"_s, TestData(u"config_v2.ini"_s));
        QCOMPARE(GetConfigFileVersion(cfg), 2);
        QCOMPARE(
            QStringList({GetGeneralOption(cfg, u"FileServers"_s),
                         GetGeneralOption(cfg, u"DataPath"_s), GetGeneralOption(cfg, u"Nope"_s),
                         GetGeneralOption(cfg, u"PrinterGroupName"_s, u"pg2"_s)}),
            QStringList({u"fs1"_s, {}, {}, u"Default"_s}));
        gEnv.m_sconfigfile = cfg;
        QCOMPARE(GetDataPath(), u"jobs.db"_s);
        QCOMPARE(rec->Joined(), QString());
        // Linux 4.19 was once taken for an old system, whose local folder is elsewhere.
        gEnv.m_sOSVersion = u"4.19"_s;
        gEnv.m_sSystemDir = box->Path(u"sys"_s);
        QCOMPARE(GetLocalPath(), box->Path(u"home/.local/share/Qorvex"_s));
        QVERIFY(QFileInfo(box->Path(u"home/.local/share/Qorvex"_s)).isDir());
    }

    // Category rules, the pattern language, predefined value entries and category values.
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
    // The value written, read back as text or system code ("-": refused with a message; codes 0
    // and 19 and a blank before the comma are refused in the edits above, with their messages):
    // code|description|kind, kind "-" for text.
    void entries_data() {
        Table("value entry",
              {"text¦0,Acme¦0|Acme|-", "text spaced¦0,   Acme Ltd  ¦0|Acme Ltd|-",
               "text looks like code¦0, Printer Name¦0|Printer Name|-",
               "printer¦10¦10|Printer Name|system", "10.4¦10.4¦10|Printer Name|system",
               "total¦25¦25|Total Pages|calculated", "reserved¦43¦43|RESERVED|system",
               "area¦34¦34|Paper Area Per Sheet (sq ft)|calculated",
               "level 5¦85¦85|Document Directory Level 5|calculated",
               "level 8¦88¦88|Document Directory Level 8|calculated",
               "auto¦90¦90|Auto Directory Level|calculated", "44¦44¦-", "91¦91¦-"});
    }
    void entries() {
        QFETCH(QString, value);
        const QString path =
            box->WriteLines(u"c.ini"_s, {u"[S]"_s, u"PreDefinedValue1 = "_s + value});
        CIniHandle h(path);
        CPreDefinedValue v;
        const bool ok = v.ReadIniFile(2, path, h.Get(), u"S"_s, u"PreDefinedValue1"_s);
        QCOMPARE(rec->Messages().size(), ok ? 0 : 1);
        QCOMPARE(v.IsSystemEntry, !value.startsWith(u"0,"_s));
        const QString kind = v.IsSystemValue()       ? u"system"_s
                             : v.IsCalculatedValue() ? u"calculated"_s
                                                     : u"-"_s;
        QTEST(ok ? u"%1|%2|%3"_s.arg(v.SystemCode).arg(v.Description(), kind) : u"-"_s, "entry");
    }
    // The INI reader, configuration search, writers and the registry file.
    void readerContract() {
        const qint32 h = OpenIni(box->WriteLines(
            u"c.ini"_s,
            u"; comment line\nstray = before any section\n[General]\nVersion = 2\n"
            "  Spaced   =   padded value   \nBlank =\nList = 0, Smith ; Jones\n"
            "Quoted = \"a\\tb\"\nDup = first\ndup = second\nEq = a=b\n\n[other]\nX = 1\n"
            "[GENERAL]\nLater = merged\nVersion = 9\n[ \u00fcbersicht ]\nGr\u00f6sse = A4"_s.split(
                u'\n')));
        QVERIFY(h != 0);
        QStringList got;
        // Section and key case ignored, also beyond ASCII; no inline comments, quotes or
        // escapes; the first of a repeated key; a repeated section merges; nothing before the
        // first section.
        for (const char* sk :
             {"GENERAL/version", "general/ Spaced ", "General/Blank", "General/List",
              "General/Quoted", "General/Dup", "General/Eq", "General/Later", "General/missing",
              "nosection/X", "\u00dcBERSICHT/gr\u00d6sse", "/stray"})
            got << GetIniString(QString::fromUtf8(sk).section(u'/', 0, 0),
                                QString::fromUtf8(sk).section(u'/', 1), u"DEF"_s, h);
        QCOMPARE(got.join(u'|'),
                 u"2|padded value||0, Smith ; Jones|\"a\\tb\"|first|a=b|merged|DEF|DEF|A4|DEF"_s);
        QCOMPARE(GetIniString(u"other"_s, u"X"_s, u"D"_s, 0), u"D"_s); // 0 has nothing open
        CloseIni(h);
        QCOMPARE(GetIniString(u"General"_s, u"Version"_s, u"DEF"_s, h), u"DEF"_s);
        QVERIFY(!OpenIni(box->Path(u"missing.ini"_s)) && !OpenIni(box->Path()) && !OpenIni({}));
    }
    void longValuesAndJunk() {
        const QByteArray big(100000, 'v');
        QByteArray junk;
        for (int i = 0; i < 4096; ++i) junk += char(i % 256);
        const QString path = box->Write(u"big.ini"_s, "[S]\r\nLong = " + big + "\r\n" + junk +
                                                          "\r\n[T]\r\nK = ok\r\n");
        const qint32 h = OpenIni(path);
        QCOMPARE(GetIniString(u"S"_s, u"Long"_s, {}, h).size(), 2048);
        QCOMPARE(GetIniString(u"T"_s, u"K"_s, {}, h), u"ok"_s);
        CloseIni(h);
    }
    void unchangedFileIsNotParsedAgain() {
        const QString path = box->WriteLines(u"c.ini"_s, {u"[A]"_s, u"K = 1"_s});
        auto first = Platform::IniDocument::Open(path);
        QVERIFY(first);
        QCOMPARE(Platform::IniDocument::Open(path).get(), first.get());
        // Same size, new contents: the new stamp makes it parse again.
        box->Write(u"c.ini"_s, "[A]\r\nK = 2\r\n");
        QVERIFY(TouchFile(path, 5));
        auto second = Platform::IniDocument::Open(path);
        QVERIFY(second.get() != first.get());
        QCOMPARE(*second->Find(u"a", u"k"), u"2"_s);
        QFile::remove(path);
        QVERIFY(!Platform::IniDocument::Open(path));
    }
    void findConfigFile() {
        gEnv.m_sLocalUserPath = box->Path(u"local/"_s);
        gEnv.m_sconfigfile = box->Path(u"local/qorvlog.ini"_s);
        gEnv.m_sOrigConfigFile = box->Path(u"share"_s);
        QString path = u"caller"_s;
        // Found or not, the path ("~": the sandbox) and the messages so far.
        auto find = [&](bool silent) {
            const bool found = FindConfigFile(path, silent);
            return u"%1 %2 %3"_s.arg(found)
                .arg(QString(path).replace(box->Path(), u"~"_s))
                .arg(rec->Messages().size());
        };
        QCOMPARE(find(true), u"0 caller 0"_s); // nothing anywhere: the caller's path stays
        // Only the local folder: asked even when silent; No keeps the path.
        box->Write(u"local/Config.ini"_s, "x");
        rec->Script({MsgAnswer::No});
        QCOMPARE(find(true), u"0 caller 1"_s);
        const auto& m = rec->Messages()[0];
        QCOMPARE(std::pair(m.buttons, Platform::DefaultAnswer(m)),
                 std::pair(Platform::MsgButtons::YesNo, MsgAnswer::No));
        QCOMPARE(m.text,
                 u"Found configuration parameters file:\r"_s + box->Path(u"local/Config.ini"_s) +
                     QStringLiteral("\r\rThis is not a standard location for this file.\rDo you "
                                    "want to continue anyway using this file?"));
        rec->Script({MsgAnswer::Yes});
        QCOMPARE(find(true), u"1 ~/local/Config.ini 2"_s);
        // The shared location: silent takes it without asking.
        box->Write(u"share/Config.ini"_s, "x");
        rec->Clear();
        QCOMPARE(find(true), u"1 ~/share/Config.ini 0"_s);
        box->Write(u"local/qorvlog.ini"_s, "x");
        QCOMPARE(find(false), u"1 ~/local/qorvlog.ini 0"_s); // the working copy wins
    }
    // A key longer than the padding keeps every letter and one blank.
    void longKeyWritten() {
        CLineWriter w(box->Path(u"out.ini"_s));
        QVERIFY(WriteIniFileValue(w, u"AVeryLongKeyOfTwentyFourC"_s, u"x"_s));
        QCOMPARE(w.Lines(), QStringList{u"AVeryLongKeyOfTwentyFourC = x"_s});
    }
    void registry() {
        const QString key = u"SOFTWARE\\Velmora Group\\Kestova Sentrel\\4"_s;
        box->WriteLines(u"registry.ini"_s, {u"[HKEY_LOCAL_MACHINE\\"_s + key + u"]"_s,
                                            u"ConfigFile = /srv/Config.ini"_s,
                                            u"Size = dword:00000100"_s, u"Bad = dword:zz"_s});
        QString size = u"old"_s, file, missing = u"old"_s;
        QVERIFY(GetKeyValue(kLocalMachine, key, u"Size"_s, size));
        QVERIFY(GetKeyValue(kLocalMachine, key.toLower() + u" "_s, u"configfile"_s, file));
        QVERIFY(!GetKeyValue(kLocalMachine, key, u"Missing"_s, missing));
        QVERIFY(!GetKeyValue(kCurrentUser, key, u"Size"_s, missing));
        QCOMPARE(size + u" "_s + file + u" "_s + missing, u"256 /srv/Config.ini old"_s);
        QCOMPARE(QStringList({GetMachineKeyValue(key, u"ConfigFile"_s),
                              GetMachineKeyValue(key, u"Bad"_s),
                              GetMachineKeyValue(u"SOFTWARE\\None"_s, u"x"_s)}),
                 QStringList({u"/srv/Config.ini"_s, u"(unknown)"_s, u"(unknown)"_s}));
        QFile::remove(box->RegistryFile());
        QCOMPARE(GetMachineKeyValue(key, u"ConfigFile"_s), u"(unknown)"_s);
    }
};

QTEST_GUILESS_MAIN(TestConfigOptions)
#include "tst_configoptions.moc"
