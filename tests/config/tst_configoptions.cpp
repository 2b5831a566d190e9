// Reading and writing the configuration tree: general options, printer groups, categories and
// predefined values, with the messages of broken files.
#include "common/environment.h"
#include "config/cconfigoptions.h"
#include "testsupport.h"

#include <QFile>
#include <QTest>

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
        out << QStringLiteral("PG:") + g->PrinterGroupName << QString::number(g->DisableLogging)
            << QString::number(g->LogSilent) << QString::number(g->PauseUntilAck) << g->Redirect;
        for (const auto& c : g->Categories) {
            out << QStringLiteral("CAT:") + c->CategoryName << QString::number(c->Verification)
                << QString::number(c->AckDefaultValues) << QString::number(c->AllowBlankValues)
                << QString::number(c->OnlyPreDefinedValues) << QString::number(c->MaskUserInput)
                << c->Pattern << QString::number(c->DefaultValue);
            for (const auto& v : c->PreDefinedValues)
                out << QStringLiteral("V:%1/%2/%3")
                           .arg(v->IsSystemEntry)
                           .arg(v->SystemCode)
                           .arg(v->EntryText);
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
        QVERIFY(o.ReadIniFile(
            box.Write(QStringLiteral("Config.ini"), TestData(QStringLiteral("config_v2.ini")))));
        QCOMPARE(rec.Messages().size(), 0);
        QCOMPARE(o.Version, 2);
        QCOMPARE(o.DataFile, QStringLiteral("jobs.db"));
        QVERIFY(o.AllowCancel && !o.DisableLogging && o.DisplayToUserOnly);
        QCOMPARE(o.AutoUpdateLocation, QString()); // blank allowed stays blank
        QCOMPARE(o.PrinterGroups.Count(), 2);
        auto plotter = o.PrinterGroups.Item(1);
        QCOMPARE(plotter->PrinterGroupName, QStringLiteral("Plotter"));
        QVERIFY(plotter->PauseUntilAck);
        QCOMPARE(plotter->Redirect, QStringLiteral("10.0.0.7"));
        auto client = plotter->Categories.Item(1);
        QCOMPARE(client->CategoryName, QStringLiteral("Client"));
        QCOMPARE(client->Verification, 2);
        QCOMPARE(client->DefaultValue, 3);
        QCOMPARE(client->PreDefinedValues.Item(2)->EntryText, QStringLiteral("Smith ; Jones"));
        QVERIFY(client->PreDefinedValues.Item(3)->IsCalculatedValue());
        auto pages = o.PrinterGroups.Item(2)->Categories.Item(1);
        QVERIFY(pages->MaskUserInput);
        QCOMPARE(pages->Pattern, QStringLiteral("####"));
        QCOMPARE(o.CategoryCount(), 3);
        QCOMPARE(o.PreDefinedValueCount(), 6);
    }
    void readsVersion1AsOneDefaultGroup() {
        Sandbox box;
        MessageRecorder rec;
        CConfigOptions o;
        QVERIFY(o.ReadIniFile(
            box.Write(QStringLiteral("Config.ini"), TestData(QStringLiteral("config_v1.ini")))));
        QCOMPARE(rec.Messages().size(), 0);
        QCOMPARE(o.Version, 1);
        QCOMPARE(o.PrinterGroups.Count(), 1);
        auto g = o.PrinterGroups.Item(1);
        QCOMPARE(g->PrinterGroupName, QStringLiteral("Default"));
        QCOMPARE(g->Redirect, kNoRedirect);
        QCOMPARE(g->Categories.Count(), 2);
        QCOMPARE(g->Categories.Item(2)->Pattern, QStringLiteral("Any"));
        QCOMPARE(g->Categories.Item(2)->PreDefinedValues.Item(1)->SystemCode, 10);
        QCOMPARE(o.LoggingMachine, QStringLiteral("Default"));
        QCOMPARE(o.DisplayAfter, QStringLiteral("1"));
    }
    void writeThenReadGivesTheSameTree_data() {
        QTest::addColumn<QString>("sample");
        QTest::newRow("v2") << QStringLiteral("config_v2.ini");
        QTest::newRow("v1") << QStringLiteral("config_v1.ini");
    }
    void writeThenReadGivesTheSameTree() {
        QFETCH(QString, sample);
        Sandbox box;
        MessageRecorder rec;
        CConfigOptions o;
        QVERIFY(
            o.ReadIniFile(box.Write(QStringLiteral("in.ini"),
                                    IniEdit(TestData(sample), QStringLiteral("GENERAL"),
                                            QStringLiteral("SIMMonitor"), QStringLiteral("Yes")))));
        QVERIFY(o.SIMMonitor);
        const QString out = box.Path(QStringLiteral("out.ini"));
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
        QVERIFY(back.WriteIniFile(box.Path(QStringLiteral("again.ini"))));
        QCOMPARE(box.Read(QStringLiteral("again.ini")), box.Read(QStringLiteral("out.ini")));
    }
    void writtenLineSyntax() {
        Sandbox box;
        CConfigOptions o;
        QVERIFY(o.ReadIniFile(
            box.Write(QStringLiteral("in.ini"), TestData(QStringLiteral("config_v1.ini")))));
        QVERIFY(o.WriteIniFile(box.Path(QStringLiteral("out.ini"))));
        const QByteArray bytes = box.Read(QStringLiteral("out.ini"));
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
    void equalsCopiesDeeply() {
        Sandbox box;
        CConfigOptions o;
        QVERIFY(o.ReadIniFile(
            box.Write(QStringLiteral("in.ini"), TestData(QStringLiteral("config_v2.ini")))));
        CConfigOptions copy;
        copy.Equals(o);
        QCOMPARE(Dump(copy), Dump(o));
        copy.PrinterGroups.Item(1)->Categories.Item(1)->PreDefinedValues.Item(1)->EntryText =
            QStringLiteral("changed");
        copy.PrinterGroups.Item(1)->PrinterGroupName = QStringLiteral("changed");
        QCOMPARE(o.PrinterGroups.Item(1)->PrinterGroupName, QStringLiteral("Plotter"));
        QCOMPARE(o.PrinterGroups.Item(1)->Categories.Item(1)->PreDefinedValues.Item(1)->EntryText,
                 QStringLiteral("Acme Ltd"));
    }
    void groupOutlivesAReload() {
        Sandbox box;
        gConfigOptions = std::make_shared<CConfigOptions>();
        QVERIFY(gConfigOptions->ReadIniFile(
            box.Write(QStringLiteral("in.ini"), TestData(QStringLiteral("config_v2.ini")))));
        std::shared_ptr<CPrinterGroup> kept = gConfigOptions->PrinterGroups.Item(1);
        gConfigOptions = std::make_shared<CConfigOptions>();
        QCOMPARE(kept->PrinterGroupName, QStringLiteral("Plotter"));
        QCOMPARE(kept->Categories.Item(1)->CategoryName, QStringLiteral("Client"));
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
        const QString file = QStringLiteral(" in configuration file:|");
        auto row = [&](const char* name, const char* s, const char* k, const QString& v, bool ok,
                       const QString& msg, int icon = int(Platform::MsgIcon::Exclamation)) {
            QTest::newRow(name) << QString::fromLatin1(s) << QString::fromLatin1(k) << v << ok
                                << msg << icon;
        };
        row("no version", "GENERAL", "Version", QString(), false,
            QStringLiteral("Entry [GENERAL].Version not found in file:|"));
        row("version 3", "GENERAL", "Version", QStringLiteral("3"), false,
            QStringLiteral(
                "The configuration file version (3) is not supported by this version of Kestova "
                "Sentrel.||Please upgrade to the lastest version of Kestova Sentrel."),
            crit);
        row("version 0", "GENERAL", "Version", QStringLiteral("0"), false, QString());
        row("version word", "GENERAL", "Version", QStringLiteral("two"), false,
            QStringLiteral("Entry [GENERAL].Version is not numeric") + file);
        row("version huge", "GENERAL", "Version", QStringLiteral("1e12"), false,
            QStringLiteral("Entry [GENERAL].Version is not valid") + file);
        row("data file blank", "GENERAL", "DataFile", QStringLiteral(""), true, QString());
        row("data file missing", "GENERAL", "DataFile", QString(), false,
            QStringLiteral("Entry [GENERAL].DataFile not found in file:|"));
        row("disable logging x", "GENERAL", "DisableLogging", QStringLiteral("xyz"), false,
            QStringLiteral("Entry [GENERAL].DisableLogging is not valid") + file);
        row("pause x is false", "GENERAL", "PauseUntilAck", QStringLiteral("xyz"), true, QString());
        row("display to user blank", "GENERAL", "DisplayToUserOnly", QStringLiteral(""), true,
            QStringLiteral("Entry [GENERAL].DisplayToUserOnly is blank in file:|"));
        row("groups 32767", "GENERAL", "NumPrinterGroups", QStringLiteral("32767"), false,
            QStringLiteral("Entry [PG3].PrinterGroupName not found in file:|"));
        row("groups 32768", "GENERAL", "NumPrinterGroups", QStringLiteral("32768"), false,
            QStringLiteral("Entry [GENERAL].NumPrinterGroups is not valid") + file);
        row("groups negative", "GENERAL", "NumPrinterGroups", QStringLiteral("-1"), false,
            QStringLiteral("Entry [GENERAL].NumPrinterGroups is not valid") + file);
        row("groups half", "GENERAL", "NumPrinterGroups", QStringLiteral("1.5"), true, QString());
        row("groups word", "GENERAL", "NumPrinterGroups", QStringLiteral("many"), false,
            QStringLiteral("Entry [GENERAL].NumPrinterGroups is not numeric") + file);
        row("groups missing", "GENERAL", "NumPrinterGroups", QString(), false,
            QStringLiteral("Entry [GENERAL].NumPrinterGroups not found in file:|"));
        row("group no disable", "PG1", "DisableLogging", QString(), false,
            QStringLiteral("Entry [PG1].DisableLogging not found in file:|"));
        row("group disable maybe", "PG1", "DisableLogging", QStringLiteral("Maybe"), false,
            QStringLiteral("Entry [PG1].DisableLogging is not valid") + file, crit);
        row("group name blank", "PG2", "PrinterGroupName", QStringLiteral(""), false,
            QStringLiteral("Entry [PG2].PrinterGroupName is blank in file:|"));
        row("redirect blank", "PG1", "Redirect", QStringLiteral(""), true,
            QStringLiteral("Entry [PG1].Redirect is blank in file:|"));
        row("log silent blank", "PG1", "LogSilent", QStringLiteral(""), true,
            QStringLiteral("Entry [PG1].LogSilent is blank in file:|"));
        row("categories 32767", "PG2", "NumCategories", QStringLiteral("32767"), false,
            QStringLiteral("Entry [CATEGORYPG22].CategoryName not found in file:|"));
        row("verification 3", "CATEGORYPG11", "Verification", QStringLiteral("3"), false,
            QStringLiteral("Entry [CATEGORYPG11].Verification is not valid") + file);
        row("verification 2.4", "CATEGORYPG11", "Verification", QStringLiteral("2.4"), true,
            QString());
        row("verification word", "CATEGORYPG11", "Verification", QStringLiteral("high"), false,
            QStringLiteral("Entry [CATEGORYPG11].Verification is not numeric") + file);
        row("ack default missing", "CATEGORYPG11", "AckDefaultValues", QString(), false,
            QStringLiteral("Entry [CATEGORYPG11].AckDefaultValues not found in file:|"));
        row("default 4 of 3", "CATEGORYPG11", "DefaultValue", QStringLiteral("4"), false,
            QStringLiteral("Entry [CATEGORYPG11].DefaultValue is not valid") + file);
        row("default 3 of 3", "CATEGORYPG11", "DefaultValue", QStringLiteral("3"), true, QString());
        row("code 19", "CATEGORYPG11", "PreDefinedValue3", QStringLiteral("19"), false,
            QStringLiteral("Entry [CATEGORYPG11].PreDefinedValue3 is not valid") + file);
        row("code 0", "CATEGORYPG11", "PreDefinedValue3", QStringLiteral("0"), false,
            QStringLiteral("Entry [CATEGORYPG11].PreDefinedValue3 is not valid") + file);
        row("code 40000", "CATEGORYPG11", "PreDefinedValue3", QStringLiteral("40000"), false,
            QStringLiteral("Entry [CATEGORYPG11].PreDefinedValue3 is not valid") + file);
        row("blank before comma", "CATEGORYPG11", "PreDefinedValue1", QStringLiteral("0 , Acme"),
            false, QStringLiteral("Entry [CATEGORYPG11].PreDefinedValue1 is not numeric") + file);
        row("values 32767", "CATEGORYPG11", "NumPreDefinedValues", QStringLiteral("32767"), false,
            QStringLiteral("Entry [CATEGORYPG11].PreDefinedValue4 not found in file:|"));
        row("values fraction", "CATEGORYPG11", "NumPreDefinedValues", QStringLiteral("2.5"), false,
            QStringLiteral("Entry [CATEGORYPG11].DefaultValue is not valid") + file);
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
            box.Write(QStringLiteral("Config.ini"),
                      IniEdit(TestData(QStringLiteral("config_v2.ini")), section, key, value));
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
        QCOMPARE(rec.Messages()[0].title, QStringLiteral("Kestova Sentrel"));
    }
    void defaultsOfBlankAndTextValues() {
        Sandbox box;
        MessageRecorder rec;
        QByteArray ini = TestData(QStringLiteral("config_v2.ini"));
        ini = IniEdit(ini, QStringLiteral("GENERAL"), QStringLiteral("LoggingMachine"),
                      QStringLiteral(""));
        ini = IniEdit(ini, QStringLiteral("GENERAL"), QStringLiteral("DisplayToUserOnly"),
                      QStringLiteral("0"));
        ini =
            IniEdit(ini, QStringLiteral("PG1"), QStringLiteral("Redirect"), QStringLiteral("tRuE"));
        ini =
            IniEdit(ini, QStringLiteral("PG1"), QStringLiteral("LogSilent"), QStringLiteral("yes"));
        ini = IniEdit(ini, QStringLiteral("PG2"), QStringLiteral("LogSilent"), QStringLiteral("x"));
        ini = IniEdit(ini, QStringLiteral("CATEGORYPG11"), QStringLiteral("Pattern"),
                      QStringLiteral(""));
        ini = IniEdit(ini, QStringLiteral("CATEGORYPG11"), QStringLiteral("MaskUserInput"),
                      QString());
        CConfigOptions o;
        QVERIFY(o.ReadIniFile(box.Write(QStringLiteral("c.ini"), ini)));
        QCOMPARE(rec.Messages().size(), 0);
        QCOMPARE(o.LoggingMachine, QStringLiteral("Default"));
        QVERIFY(!o.DisplayToUserOnly);
        QCOMPARE(o.PrinterGroups.Item(1)->Redirect, kNoRedirect);
        QVERIFY(o.PrinterGroups.Item(1)->LogSilent);
        QVERIFY(!o.PrinterGroups.Item(2)->LogSilent);
        QCOMPARE(o.PrinterGroups.Item(1)->Categories.Item(1)->Pattern, QStringLiteral("Any"));
        QVERIFY(!o.PrinterGroups.Item(1)->Categories.Item(1)->MaskUserInput);
    }
    void unreadableFiles() {
        Sandbox box;
        MessageRecorder rec;
        CConfigOptions o;
        const QString missing = box.Path(QStringLiteral("gone.ini"));
        QVERIFY(!o.ReadIniFile(missing));
        QCOMPARE(rec.Joined(), QStringLiteral("Unable to open configuration file:|") + missing);
        rec.Clear();
        QByteArray junk;
        for (int i = 0; i < 70000; ++i) junk += char((i * 7919) % 256);
        const QString j = box.Write(QStringLiteral("junk.ini"), junk);
        QVERIFY(!o.ReadIniFile(j));
        QCOMPARE(rec.Joined(), QStringLiteral("Entry [GENERAL].Version not found in file:|") + j);
        rec.Clear();
        QCOMPARE(GetGeneralOption(missing, QStringLiteral("DataFile")), QString());
        QCOMPARE(rec.Joined(), QStringLiteral("Unable to open configuration file:|") + missing);
    }
    void sharedCategorySection() {
        // Group 1 category 11 and group 11 category 1 are both [CATEGORYPG111].
        Sandbox box;
        MessageRecorder rec;
        QByteArray ini = TestData(QStringLiteral("config_v1.ini"));
        ini =
            IniEdit(ini, QStringLiteral("General"), QStringLiteral("Version"), QStringLiteral("2"));
        ini = IniEdit(ini, QStringLiteral("General"), QStringLiteral("NumPrinterGroups"),
                      QStringLiteral("11"));
        auto category = [&](const QString& section, const QString& name) {
            ini = IniEdit(ini, section, QStringLiteral("CategoryName"), name);
            for (const char* k : {"AckDefaultValues", "AllowBlankValues", "OnlyPreDefinedValues"})
                ini = IniEdit(ini, section, QString::fromLatin1(k), QStringLiteral("F"));
            ini = IniEdit(ini, section, QStringLiteral("Verification"), QStringLiteral("0"));
            ini = IniEdit(ini, section, QStringLiteral("NumPreDefinedValues"), QStringLiteral("0"));
            ini = IniEdit(ini, section, QStringLiteral("DefaultValue"), QStringLiteral("0"));
        };
        for (int g = 1; g <= 11; ++g) {
            const QString pg = QStringLiteral("PG%1").arg(g);
            ini = IniEdit(ini, pg, QStringLiteral("PrinterGroupName"),
                          QStringLiteral("Group %1").arg(g));
            ini = IniEdit(ini, pg, QStringLiteral("DisableLogging"), QStringLiteral("F"));
            ini = IniEdit(ini, pg, QStringLiteral("NumCategories"),
                          g == 1    ? QStringLiteral("11")
                          : g == 11 ? QStringLiteral("1")
                                    : QStringLiteral("0"));
        }
        for (int c = 1; c <= 11; ++c)
            category(QStringLiteral("CATEGORYPG1%1").arg(c), QStringLiteral("Cat %1").arg(c));
        CConfigOptions o;
        QVERIFY(o.ReadIniFile(box.Write(QStringLiteral("c.ini"), ini)));
        QCOMPARE(rec.Joined(), QString());
        QCOMPARE(o.PrinterGroups.Item(1)->Categories.Item(11)->CategoryName,
                 QStringLiteral("Cat 11"));
        QCOMPARE(o.PrinterGroups.Item(11)->Categories.Item(1)->CategoryName,
                 QStringLiteral("Cat 11"));
    }
    void standAloneLookups() {
        Sandbox box;
        MessageRecorder rec;
        const QString cfg = box.Write(QStringLiteral("share/Config.ini"),
                                      TestData(QStringLiteral("config_v2.ini")));
        QCOMPARE(GetConfigFileVersion(cfg), 2);
        QCOMPARE(GetGeneralOption(cfg, QStringLiteral("FileServers")), QStringLiteral("fs1"));
        QCOMPARE(GetGeneralOption(cfg, QStringLiteral("DataPath")), QString());
        QCOMPARE(GetGeneralOption(cfg, QStringLiteral("Nope")), QString());
        QCOMPARE(GetGeneralOption(cfg, QStringLiteral("PrinterGroupName"), QStringLiteral("pg2")),
                 QStringLiteral("Default"));
        QCOMPARE(rec.Messages().size(), 0);
        QCOMPARE(GetConfigFile(), QString());
        box.WriteLines(
            QStringLiteral("registry.ini"),
            {QStringLiteral("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmora Group\\Kestova Sentrel\\4]"),
             QStringLiteral("ConfigFile = ") + cfg});
        QCOMPARE(GetConfigFile(), cfg);
        gEnv.m_sconfigfile = cfg;
        QCOMPARE(GetDataPath(), QStringLiteral("jobs.db"));
        const QString local = GetLocalPath();
        QCOMPARE(local, box.Path(QStringLiteral("home/.local/share/Qorvex")));
        QVERIFY(QFileInfo(local).isDir());
        gEnv.m_sProgramPath = QStringLiteral("/opt/kv/");
        SetHelpFile();
        QCOMPARE(gEnv.m_sHelpFile, QStringLiteral("/opt/kv/Qorvex.hlp"));
    }
};

QTEST_GUILESS_MAIN(TestConfigOptions)
#include "tst_configoptions.moc"
