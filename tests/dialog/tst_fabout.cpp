// The About window: its version lines, the beta mark from the registry file, and System Info
// started from either registry value or reported as not available.
#include "dialog/fabout.h"
#include "testsupport.h"

#include <QFile>
#include <QLabel>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {
const QString kProduct = u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmora Group\\Kestova Sentrel\\4]"_s;
const QString kMsInfo = u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\MSINFO]"_s;
const QString kLocation = u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools Location]"_s;
} // namespace

class TestFAbout : public QObject {
    Q_OBJECT
    std::unique_ptr<Sandbox> box;
    std::unique_ptr<MessageRecorder> rec;

    // Registry lines with @ standing for the sandbox.
    void Registry(const QStringList& lines) {
        QStringList out;
        for (const QString& l : lines) out << QString(l).replace(u'@', box->Path());
        box->WriteLines(u"registry.ini"_s, out);
    }
    // A program that leaves a mark next to itself when it runs.
    void Tool(const QString& relative) {
        box->Write(relative, "#!/bin/sh\ntouch \"$0.ran\"\n");
        QFile::setPermissions(box->Path(relative),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

private Q_SLOTS:
    void init() {
        box = std::make_unique<Sandbox>();
        rec = std::make_unique<MessageRecorder>();
    }
    void cleanup() {
        rec.reset();
        box.reset();
    }

    void lines_data() {
        QTest::addColumn<CVersion>("version");
        QTest::addColumn<QStringList>("registry");
        QTest::addColumn<QStringList>("shown"); // caption, product, file version, beta mark
        const QStringList plain = {u"About QorvLog"_s, u"QorvLog 4.0.0"_s, u"File Version: 4.00"_s,
                                   u"-"_s};
        QTest::newRow("revision 0") << CVersion{4, 0, 0} << QStringList{} << plain;
        QTest::newRow("revision 1")
            << CVersion{4, 1, 1} << QStringList{}
            << QStringList{plain[0], u"QorvLog 4.1.1"_s, u"File Version: 4.01.0001"_s, u"-"_s};
        QTest::newRow("two-digit parts") << CVersion{12, 10, 2345} << QStringList{}
                                         << QStringList{plain[0], u"QorvLog 12.10.2345"_s,
                                                        u"File Version: 12.10.2345"_s, u"-"_s};
        const QStringList beta = {plain[0], plain[1], plain[2], u"BETA VERSION"_s};
        QTest::newRow("beta") << CVersion{4, 0, 0} << QStringList{kProduct, u"BetaVersion = 1"_s}
                              << beta;
        QTest::newRow("beta as a number")
            << CVersion{4, 0, 0} << QStringList{kProduct, u"BetaVersion = dword:00000001"_s}
            << beta;
        QTest::newRow("not beta") << CVersion{4, 0, 0}
                                  << QStringList{kProduct, u"BetaVersion = 0"_s} << plain;
        QTest::newRow("beta of another major version")
            << CVersion{4, 0, 0}
            << QStringList{QString(kProduct).replace(u"\\4]"_s, u"\\3]"_s), u"BetaVersion = 1"_s}
            << plain;
    }
    void lines() {
        QFETCH(CVersion, version);
        QFETCH(QStringList, registry);
        Registry(registry);
        FAbout about(nullptr, version);
        auto* beta = about.findChild<QLabel*>(u"lblBetaVersion"_s);
        QTEST((QStringList{about.windowTitle(), about.findChild<QLabel*>(u"lblProduct"_s)->text(),
                           about.findChild<QLabel*>(u"lblVersion"_s)->text(),
                           beta->isHidden() ? u"-"_s : beta->text()}),
              "shown");
    }

    void sysInfo_data() {
        QTest::addColumn<QStringList>("registry");
        QTest::addColumn<QString>("started"); // the tool that ran; empty: the message
        QTest::newRow("neither value") << QStringList{kProduct, u"BetaVersion = 1"_s} << u""_s;
        QTest::newRow("path") << QStringList{kMsInfo, u"PATH = @/tools/info"_s} << u"tools/info"_s;
        QTest::newRow("path to nothing") << QStringList{kMsInfo, u"PATH = @/tools/gone"_s} << u""_s;
        QTest::newRow("path to nothing, a folder too")
            << QStringList{kMsInfo, u"PATH = @/tools/gone"_s, kLocation, u"MSINFO = @/tools"_s}
            << u""_s;
        QTest::newRow("folder") << QStringList{kLocation, u"MSINFO = @/tools"_s}
                                << u"tools/msinfo32"_s;
        QTest::newRow("folder with separator")
            << QStringList{kLocation, u"MSINFO = @/tools/"_s} << u"tools/msinfo32"_s;
    }
    void sysInfo() {
        QFETCH(QStringList, registry);
        QFETCH(QString, started);
        Tool(u"tools/info"_s);
        Tool(u"tools/msinfo32"_s);
        Registry(registry);
        FAbout about;
        QTest::mouseClick(about.findChild<QWidget*>(u"cmdSysInfo"_s), Qt::LeftButton);
        if (started.isEmpty()) {
            QCOMPARE(rec->Joined(), u"System Info is not available."_s);
            QCOMPARE(rec->Messages().value(0).title, u"QorvLog"_s);
            QCOMPARE(rec->Messages().value(0).icon, Platform::MsgIcon::Exclamation);
        } else {
            QTRY_VERIFY(QFile::exists(box->Path(started + u".ran"_s)));
            QCOMPARE(rec->Messages().size(), 0);
        }
    }
};

QTEST_MAIN(TestFAbout)
#include "tst_fabout.moc"
