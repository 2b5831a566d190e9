// Reading and writing the configuration tree: general options, printer groups, categories and
// predefined values, with the messages of broken files.
#include "common/environment.h"
#include "config/cconfigoptions.h"
#include "testsupport.h"

#include <QFile>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {
// Every member of the tree as text, to compare trees.
QString Dump(const CConfigOptions& o) {
    QStringList out;
    out << QString::number(o.Version) << o.DataFile << QString::number(o.DisableLogging)
        << QString::number(o.LogSilent) << QString::number(o.AllowCancel)
        << QString::number(o.LogAllUsers) << o.LoggingMachine << o.FileServers
        << o.AutoUpdateLocation << o.DataPath << o.DisplayAfter << o.UserTimeFrame
        << o.UserPrintUnits << o.UserLimit << o.UserFromTime << o.UserUntilTime << o.UserAction;
    for (bool b : {o.PauseUntilAck, o.Convert11x17, o.SavePrintData, o.ObtainPath,
                   o.DisplayImmediately, o.DisplayToUserOnly, o.AutoUpdate, o.SetEmf, o.SetRaw,
                   o.DeleteIfCanceled, o.LogDatFilesOnly, o.DebugLog, o.SIMMonitor})
        out << QString::number(b);
    for (const auto& g : o.PrinterGroups) {
        out << u"PG:"_s + g->PrinterGroupName << QString::number(g->DisableLogging)
            << QString::number(g->LogSilent) << QString::number(g->PauseUntilAck) << g->Redirect;
        for (const auto& c : g->Categories) {
            out << u"CAT:"_s + c->CategoryName << QString::number(c->Verification)
                << QString::number(c->AckDefaultValues) << QString::number(c->AllowBlankValues)
                << QString::number(c->OnlyPreDefinedValues) << QString::number(c->MaskUserInput)
                << c->Pattern << QString::number(c->DefaultValue);
            for (const auto& v : c->PreDefinedValues)
                out << u"V:%1/%2/%3"_s.arg(v->IsSystemEntry).arg(v->SystemCode).arg(v->EntryText);
        }
    }
    return out.join(QLatin1Char('|'));
}
} // namespace

class TestConfigOptions : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void readsVersion2() {
        Sandbox box;
        MessageRecorder rec;
        CConfigOptions o;
        QVERIFY(o.ReadIniFile(box.Write(u"Config.ini"_s, TestData(u"config_v2.ini"_s))));
        QCOMPARE(rec.Messages().size(), 0);
        QCOMPARE(o.Version, 2);
        QCOMPARE(o.DataFile, u"jobs.db"_s);
        QVERIFY(o.AllowCancel && !o.DisableLogging && o.DisplayToUserOnly);
        QCOMPARE(o.AutoUpdateLocation, QString()); // blank allowed stays blank
        QCOMPARE(o.PrinterGroups.Count(), 2);
        auto plotter = o.PrinterGroups.Item(1);
        QCOMPARE(plotter->PrinterGroupName, u"Plotter"_s);
        QVERIFY(plotter->PauseUntilAck);
        QCOMPARE(plotter->Redirect, u"10.0.0.7"_s);
        auto client = plotter->Categories.Item(1);
        QCOMPARE(client->CategoryName, u"Client"_s);
        QCOMPARE(client->Verification, 2);
        QCOMPARE(client->DefaultValue, 3);
        QCOMPARE(client->PreDefinedValues.Item(2)->EntryText, u"Smith ; Jones"_s);
        QVERIFY(client->PreDefinedValues.Item(3)->IsCalculatedValue());
        auto pages = o.PrinterGroups.Item(2)->Categories.Item(1);
        QVERIFY(pages->MaskUserInput);
        QCOMPARE(pages->Pattern, u"####"_s);
        QCOMPARE(o.CategoryCount(), 3);
        QCOMPARE(o.PreDefinedValueCount(), 6);
    }
    void readsVersion1AsOneDefaultGroup() {
        Sandbox box;
        MessageRecorder rec;
        CConfigOptions o;
        QVERIFY(o.ReadIniFile(box.Write(u"Config.ini"_s, TestData(u"config_v1.ini"_s))));
        QCOMPARE(rec.Messages().size(), 0);
        QCOMPARE(o.Version, 1);
        QCOMPARE(o.PrinterGroups.Count(), 1);
        auto g = o.PrinterGroups.Item(1);
        QCOMPARE(g->PrinterGroupName, u"Default"_s);
        QCOMPARE(g->Redirect, kNoRedirect);
        QCOMPARE(g->Categories.Count(), 2);
        QCOMPARE(g->Categories.Item(2)->Pattern, u"Any"_s);
        QCOMPARE(g->Categories.Item(2)->PreDefinedValues.Item(1)->SystemCode, 10);
        QCOMPARE(o.LoggingMachine, u"Default"_s);
        QCOMPARE(o.DisplayAfter, u"1"_s);
    }
    void writeThenReadGivesTheSameTree_data() {
        QTest::addColumn<QString>("sample");
        QTest::newRow("v2") << u"config_v2.ini"_s;
        QTest::newRow("v1") << u"config_v1.ini"_s;
    }
    void writeThenReadGivesTheSameTree() {
        QFETCH(QString, sample);
        Sandbox box;
        MessageRecorder rec;
        CConfigOptions o;
        QVERIFY(o.ReadIniFile(box.Write(
            u"in.ini"_s, IniEdit(TestData(sample), u"GENERAL"_s, u"SIMMonitor"_s, u"Yes"_s))));
        QVERIFY(o.SIMMonitor);
        const QString out = box.Path(u"out.ini"_s);
        QVERIFY(o.WriteIniFile(out));
        CConfigOptions back;
        QVERIFY(back.ReadIniFile(out));
        QCOMPARE(rec.Messages().size(), 0);
        QVERIFY(!back.SIMMonitor);
        QCOMPARE(back.Version, 2);
        o.SIMMonitor = false;
        o.Version = 2;
        QCOMPARE(Dump(back), Dump(o));
        // Written a second time, the file is byte for byte the same.
        QVERIFY(back.WriteIniFile(box.Path(u"again.ini"_s)));
        QCOMPARE(box.Read(u"again.ini"_s), box.Read(u"out.ini"_s));
    }
    void writtenLineSyntax() {
        Sandbox box;
        CConfigOptions o;
        QVERIFY(o.ReadIniFile(box.Write(u"in.ini"_s, TestData(u"config_v1.ini"_s))));
        QVERIFY(o.WriteIniFile(box.Path(u"out.ini"_s)));
        const QByteArray bytes = box.Read(u"out.ini"_s);
        QVERIFY(bytes.startsWith(
            "[GENERAL]\r\nVersion                  = 2\r\nDataFile                 = old.mdb\r\n"));
        QVERIFY(bytes.contains("\r\nNumPrinterGroups         = 1\r\n\r\n[PG1]\r\nPrinterGroupName  "
                               "       = Default\r\n"));
        QVERIFY(bytes.contains("Redirect                 = Enter IP Address Here\r\nNumCategories  "
                               "          = 2\r\n\r\n[CATEGORYPG11]\r\n"));
        QVERIFY(
            bytes.contains("PreDefinedValue1         = 10\r\nDefaultValue             = 1\r\n"));
        QVERIFY(!bytes.contains("SIMMonitor"));
        QVERIFY(!bytes.contains("\n\n")); // every line ends in CR LF
        QCOMPARE(bytes.count("\r\n"), bytes.count('\n'));
        QVERIFY(bytes.endsWith("DefaultValue             = 1\r\n"));
    }
    void fullDiskSaysSo() {
        Sandbox box;
        MessageRecorder rec;
        CConfigOptions o;
        QVERIFY(o.ReadIniFile(box.Write(u"in.ini"_s, TestData(u"config_v1.ini"_s))));
        FailingDevice device(1000);
        QVERIFY(!o.WriteIniFile(box.Path(u"out.ini"_s)));
        QCOMPARE(rec.Texts().size(), 1);
        QCOMPARE(rec.Texts().first().section(QLatin1Char('\r'), 0, 1),
                 u"Unexpected error 61 in procedure 'CConfigOptions::WriteIniFile':\rDisk full"_s);
    }
    void equalsCopiesDeeply() {
        Sandbox box;
        CConfigOptions o;
        QVERIFY(o.ReadIniFile(box.Write(u"in.ini"_s, TestData(u"config_v2.ini"_s))));
        CConfigOptions copy;
        copy.Equals(o);
        QCOMPARE(Dump(copy), Dump(o));
        copy.Equals(copy); // copying onto itself keeps everything
        QCOMPARE(Dump(copy), Dump(o));
        copy.PrinterGroups.Item(1)->Categories.Item(1)->PreDefinedValues.Item(1)->EntryText =
            u"changed"_s;
        copy.PrinterGroups.Item(1)->PrinterGroupName = u"changed"_s;
        QCOMPARE(o.PrinterGroups.Item(1)->PrinterGroupName, u"Plotter"_s);
        QCOMPARE(o.PrinterGroups.Item(1)->Categories.Item(1)->PreDefinedValues.Item(1)->EntryText,
                 u"Acme Ltd"_s);
    }
    void groupOutlivesAReload() {
        Sandbox box;
        gConfigOptions = std::make_shared<CConfigOptions>();
        QVERIFY(gConfigOptions->ReadIniFile(box.Write(u"in.ini"_s, TestData(u"config_v2.ini"_s))));
        std::shared_ptr<CPrinterGroup> kept = gConfigOptions->PrinterGroups.Item(1);
        gConfigOptions = std::make_shared<CConfigOptions>();
        QCOMPARE(kept->PrinterGroupName, u"Plotter"_s);
        QCOMPARE(kept->Categories.Item(1)->CategoryName, u"Client"_s);
        gConfigOptions.reset();
    }

    void brokenFiles_data() {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value"); // null removes the key
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("message"); // "" none; CR written as |
        QTest::addColumn<int>("icon");
        const int crit = int(Platform::MsgIcon::Critical);
        const QString file = u" in configuration file:|"_s;
        auto row = [&](const char* name, const char* s, const char* k, const QString& v, bool ok,
                       const QString& msg, int icon = int(Platform::MsgIcon::Exclamation)) {
            QTest::newRow(name) << QString::fromLatin1(s) << QString::fromLatin1(k) << v << ok
                                << msg << icon;
        };
        row("no version", "GENERAL", "Version", QString(), false,
            u"Entry [GENERAL].Version not found in file:|"_s);
        row("version 3", "GENERAL", "Version", u"3"_s, false,
            QStringLiteral(
                "The configuration file version (3) is not supported by this version of Kestova "
                "Sentrel.||Please upgrade to the lastest version of Kestova Sentrel."),
            crit);
        row("version 0", "GENERAL", "Version", u"0"_s, false, QString());
        row("version word", "GENERAL", "Version", u"two"_s, false,
            u"Entry [GENERAL].Version is not numeric"_s + file);
        row("version huge", "GENERAL", "Version", u"1e12"_s, false,
            u"Entry [GENERAL].Version is not valid"_s + file);
        row("data file blank", "GENERAL", "DataFile", u""_s, true, QString());
        row("data file missing", "GENERAL", "DataFile", QString(), false,
            u"Entry [GENERAL].DataFile not found in file:|"_s);
        row("disable logging x", "GENERAL", "DisableLogging", u"xyz"_s, false,
            u"Entry [GENERAL].DisableLogging is not valid"_s + file);
        row("pause x is false", "GENERAL", "PauseUntilAck", u"xyz"_s, true, QString());
        row("display to user blank", "GENERAL", "DisplayToUserOnly", u""_s, true,
            u"Entry [GENERAL].DisplayToUserOnly is blank in file:|"_s);
        row("groups 32767", "GENERAL", "NumPrinterGroups", u"32767"_s, false,
            u"Entry [PG3].PrinterGroupName not found in file:|"_s);
        row("groups 32768", "GENERAL", "NumPrinterGroups", u"32768"_s, false,
            u"Entry [GENERAL].NumPrinterGroups is not valid"_s + file);
        row("groups negative", "GENERAL", "NumPrinterGroups", u"-1"_s, false,
            u"Entry [GENERAL].NumPrinterGroups is not valid"_s + file);
        row("groups half", "GENERAL", "NumPrinterGroups", u"1.5"_s, true, QString());
        row("groups word", "GENERAL", "NumPrinterGroups", u"many"_s, false,
            u"Entry [GENERAL].NumPrinterGroups is not numeric"_s + file);
        row("groups missing", "GENERAL", "NumPrinterGroups", QString(), false,
            u"Entry [GENERAL].NumPrinterGroups not found in file:|"_s);
        row("group no disable", "PG1", "DisableLogging", QString(), false,
            u"Entry [PG1].DisableLogging not found in file:|"_s);
        row("group disable maybe", "PG1", "DisableLogging", u"Maybe"_s, false,
            u"Entry [PG1].DisableLogging is not valid"_s + file, crit);
        row("group name blank", "PG2", "PrinterGroupName", u""_s, false,
            u"Entry [PG2].PrinterGroupName is blank in file:|"_s);
        row("redirect blank", "PG1", "Redirect", u""_s, true,
            u"Entry [PG1].Redirect is blank in file:|"_s);
        row("log silent blank", "PG1", "LogSilent", u""_s, true,
            u"Entry [PG1].LogSilent is blank in file:|"_s);
        row("categories 32767", "PG2", "NumCategories", u"32767"_s, false,
            u"Entry [CATEGORYPG22].CategoryName not found in file:|"_s);
        row("verification 3", "CATEGORYPG11", "Verification", u"3"_s, false,
            u"Entry [CATEGORYPG11].Verification is not valid"_s + file);
        row("verification 2.4", "CATEGORYPG11", "Verification", u"2.4"_s, true, QString());
        row("verification word", "CATEGORYPG11", "Verification", u"high"_s, false,
            u"Entry [CATEGORYPG11].Verification is not numeric"_s + file);
        row("ack default missing", "CATEGORYPG11", "AckDefaultValues", QString(), false,
            u"Entry [CATEGORYPG11].AckDefaultValues not found in file:|"_s);
        row("default 4 of 3", "CATEGORYPG11", "DefaultValue", u"4"_s, false,
            u"Entry [CATEGORYPG11].DefaultValue is not valid"_s + file);
        row("default 3 of 3", "CATEGORYPG11", "DefaultValue", u"3"_s, true, QString());
        row("code 19", "CATEGORYPG11", "PreDefinedValue3", u"19"_s, false,
            u"Entry [CATEGORYPG11].PreDefinedValue3 is not valid"_s + file);
        row("code 0", "CATEGORYPG11", "PreDefinedValue3", u"0"_s, false,
            u"Entry [CATEGORYPG11].PreDefinedValue3 is not valid"_s + file);
        row("code 40000", "CATEGORYPG11", "PreDefinedValue3", u"40000"_s, false,
            u"Entry [CATEGORYPG11].PreDefinedValue3 is not valid"_s + file);
        row("blank before comma", "CATEGORYPG11", "PreDefinedValue1", u"0 , Acme"_s, false,
            u"Entry [CATEGORYPG11].PreDefinedValue1 is not numeric"_s + file);
        row("values 32767", "CATEGORYPG11", "NumPreDefinedValues", u"32767"_s, false,
            u"Entry [CATEGORYPG11].PreDefinedValue4 not found in file:|"_s);
        row("values fraction", "CATEGORYPG11", "NumPreDefinedValues", u"2.5"_s, false,
            u"Entry [CATEGORYPG11].DefaultValue is not valid"_s + file);
    }
    void brokenFiles() {
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(bool, ok);
        QFETCH(QString, message);
        QFETCH(int, icon);
        Sandbox box;
        MessageRecorder rec;
        const QString path =
            box.Write(u"Config.ini"_s, IniEdit(TestData(u"config_v2.ini"_s), section, key, value));
        CConfigOptions o;
        QCOMPARE(o.ReadIniFile(path), ok);
        if (message.isEmpty()) {
            QCOMPARE(rec.Joined(), QString());
            return;
        }
        QCOMPARE(rec.Messages().size(), 1);
        QString expected = message;
        if (expected.endsWith(QLatin1Char('|'))) expected += path;
        QCOMPARE(rec.Joined(), expected);
        QCOMPARE(int(rec.Messages()[0].icon), icon);
        QCOMPARE(rec.Messages()[0].title, u"Kestova Sentrel"_s);
    }
    void defaultsOfBlankAndTextValues() {
        Sandbox box;
        MessageRecorder rec;
        QByteArray ini = TestData(u"config_v2.ini"_s);
        ini = IniEdit(ini, u"GENERAL"_s, u"LoggingMachine"_s, u""_s);
        ini = IniEdit(ini, u"GENERAL"_s, u"DisplayToUserOnly"_s, u"0"_s);
        ini = IniEdit(ini, u"PG1"_s, u"Redirect"_s, u"tRuE"_s);
        ini = IniEdit(ini, u"PG1"_s, u"LogSilent"_s, u"yes"_s);
        ini = IniEdit(ini, u"PG2"_s, u"LogSilent"_s, u"x"_s);
        ini = IniEdit(ini, u"CATEGORYPG11"_s, u"Pattern"_s, u""_s);
        ini = IniEdit(ini, u"CATEGORYPG11"_s, u"MaskUserInput"_s, QString());
        CConfigOptions o;
        QVERIFY(o.ReadIniFile(box.Write(u"c.ini"_s, ini)));
        QCOMPARE(rec.Messages().size(), 0);
        QCOMPARE(o.LoggingMachine, u"Default"_s);
        QVERIFY(!o.DisplayToUserOnly);
        QCOMPARE(o.PrinterGroups.Item(1)->Redirect, kNoRedirect);
        QVERIFY(o.PrinterGroups.Item(1)->LogSilent);
        QVERIFY(!o.PrinterGroups.Item(2)->LogSilent);
        QCOMPARE(o.PrinterGroups.Item(1)->Categories.Item(1)->Pattern, u"Any"_s);
        QVERIFY(!o.PrinterGroups.Item(1)->Categories.Item(1)->MaskUserInput);
    }
    void unreadableFiles() {
        Sandbox box;
        MessageRecorder rec;
        CConfigOptions o;
        const QString missing = box.Path(u"gone.ini"_s);
        QVERIFY(!o.ReadIniFile(missing));
        QCOMPARE(rec.Joined(), u"Unable to open configuration file:|"_s + missing);
        rec.Clear();
        QByteArray junk;
        for (int i = 0; i < 70000; ++i) junk += char((i * 7919) % 256);
        const QString j = box.Write(u"junk.ini"_s, junk);
        QVERIFY(!o.ReadIniFile(j));
        QCOMPARE(rec.Joined(), u"Entry [GENERAL].Version not found in file:|"_s + j);
        rec.Clear();
        QCOMPARE(GetGeneralOption(missing, u"DataFile"_s), QString());
        QCOMPARE(rec.Joined(), u"Unable to open configuration file:|"_s + missing);
    }
    void sharedCategorySection() {
        // Group 1 category 11 and group 11 category 1 are both [CATEGORYPG111].
        Sandbox box;
        MessageRecorder rec;
        QByteArray ini = TestData(u"config_v1.ini"_s);
        ini = IniEdit(ini, u"General"_s, u"Version"_s, u"2"_s);
        ini = IniEdit(ini, u"General"_s, u"NumPrinterGroups"_s, u"11"_s);
        auto category = [&](const QString& section, const QString& name) {
            ini = IniEdit(ini, section, u"CategoryName"_s, name);
            for (const char* k : {"AckDefaultValues", "AllowBlankValues", "OnlyPreDefinedValues"})
                ini = IniEdit(ini, section, QString::fromLatin1(k), u"F"_s);
            ini = IniEdit(ini, section, u"Verification"_s, u"0"_s);
            ini = IniEdit(ini, section, u"NumPreDefinedValues"_s, u"0"_s);
            ini = IniEdit(ini, section, u"DefaultValue"_s, u"0"_s);
        };
        for (int g = 1; g <= 11; ++g) {
            const QString pg = u"PG%1"_s.arg(g);
            ini = IniEdit(ini, pg, u"PrinterGroupName"_s, u"Group %1"_s.arg(g));
            ini = IniEdit(ini, pg, u"DisableLogging"_s, u"F"_s);
            ini = IniEdit(ini, pg, u"NumCategories"_s,
                          g == 1    ? u"11"_s
                          : g == 11 ? u"1"_s
                                    : u"0"_s);
        }
        for (int c = 1; c <= 11; ++c) category(u"CATEGORYPG1%1"_s.arg(c), u"Cat %1"_s.arg(c));
        CConfigOptions o;
        QVERIFY(o.ReadIniFile(box.Write(u"c.ini"_s, ini)));
        QCOMPARE(rec.Joined(), QString());
        QCOMPARE(o.PrinterGroups.Item(1)->Categories.Item(11)->CategoryName, u"Cat 11"_s);
        QCOMPARE(o.PrinterGroups.Item(11)->Categories.Item(1)->CategoryName, u"Cat 11"_s);
    }
    void standAloneLookups() {
        Sandbox box;
        MessageRecorder rec;
        const QString cfg = box.Write(u"share/Config.ini"_s, TestData(u"config_v2.ini"_s));
        QCOMPARE(GetConfigFileVersion(cfg), 2);
        QCOMPARE(GetGeneralOption(cfg, u"FileServers"_s), u"fs1"_s);
        QCOMPARE(GetGeneralOption(cfg, u"DataPath"_s), QString());
        QCOMPARE(GetGeneralOption(cfg, u"Nope"_s), QString());
        QCOMPARE(GetGeneralOption(cfg, u"PrinterGroupName"_s, u"pg2"_s), u"Default"_s);
        QCOMPARE(rec.Messages().size(), 0);
        QCOMPARE(GetConfigFile(), QString());
        box.WriteLines(u"registry.ini"_s,
                       {u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmora Group\\Kestova Sentrel\\4]"_s,
                        u"ConfigFile = "_s + cfg});
        QCOMPARE(GetConfigFile(), cfg);
        gEnv.m_sconfigfile = cfg;
        QCOMPARE(GetDataPath(), u"jobs.db"_s);
        // Linux 4.19 was once taken for an old system, whose local folder is elsewhere.
        gEnv.m_sOSVersion = u"4.19"_s;
        gEnv.m_sSystemDir = box.Path(u"sys"_s);
        const QString local = GetLocalPath();
        QCOMPARE(local, box.Path(u"home/.local/share/Qorvex"_s));
        QVERIFY(QFileInfo(local).isDir());
        gEnv.m_sProgramPath = u"/opt/kv/"_s;
        SetHelpFile();
        QCOMPARE(gEnv.m_sHelpFile, u"/opt/kv/qorvlog-help.html"_s);
    }
};

QTEST_GUILESS_MAIN(TestConfigOptions)
#include "tst_configoptions.moc"
