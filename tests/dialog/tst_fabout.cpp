// The About window: its version lines, the beta mark from the registry file, and System Info
// started from either registry value or reported as not available.
#include "dialog/fabout.h"
#include "testsupport.h"

#include <QtTest>
#include <QtWidgets>

namespace {
const QString kProduct = u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmora Group\\Kestova Sentrel\\4]"_s;
const QString kMsInfo = u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\MSINFO]"_s;
const QString kLocation = u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools Location]"_s;
const QString kNone = u"QorvLog: System Info is not available. (!)"_s;
} // namespace

class TestFAbout : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void shown_data() {
        QTest::addColumn<CVersion>("version");
        QTest::addColumn<QStringList>("registry"); // @ stands for the sandbox
        // Caption, product, file version, beta mark, then what System Info does.
        QTest::addColumn<QStringList>("shown");
        const QString about = u"About QorvLog"_s, v4 = u"QorvLog 4.0.0"_s;
        const QString f4 = u"File Version: 4.00"_s, beta = u"BETA VERSION"_s;
        const QString path = u"PATH = @/tools/"_s, folder = u"MSINFO = @/tools"_s;
        QTest::newRow("revision 0, neither value")
            << CVersion{4, 0, 0} << QStringList{} << QStringList{about, v4, f4, u"-"_s, kNone};
        QTest::newRow("revision 1, path")
            << CVersion{4, 1, 1} << QStringList{kMsInfo, path + u"info"_s}
            << QStringList{about, u"QorvLog 4.1.1"_s, u"File Version: 4.01.0001"_s, u"-"_s,
                           u"ran tools/info"_s};
        QTest::newRow("two-digit parts, folder")
            << CVersion{12, 10, 2345} << QStringList{kLocation, folder}
            << QStringList{about, u"QorvLog 12.10.2345"_s, u"File Version: 12.10.2345"_s, u"-"_s,
                           u"ran tools/msinfo32"_s};
        QTest::newRow("beta, neither value")
            << CVersion{4, 0, 0} << QStringList{kProduct, u"BetaVersion = 1"_s}
            << QStringList{about, v4, f4, beta, kNone};
        QTest::newRow("beta as a number, folder with separator")
            << CVersion{4, 0, 0}
            << QStringList{kProduct, u"BetaVersion = dword:00000001"_s, kLocation, folder + u'/'}
            << QStringList{about, v4, f4, beta, u"ran tools/msinfo32"_s};
        QTest::newRow("not beta, path to nothing")
            << CVersion{4, 0, 0}
            << QStringList{kProduct, u"BetaVersion = 0"_s, kMsInfo, path + u"gone"_s}
            << QStringList{about, v4, f4, u"-"_s, kNone};
        QTest::newRow("another major version's beta, path to nothing and a folder")
            << CVersion{4, 0, 0}
            << QStringList{QString(kProduct).replace(u"\\4]"_s, u"\\3]"_s),
                           u"BetaVersion = 1"_s,
                           kMsInfo,
                           path + u"gone"_s,
                           kLocation,
                           folder}
            << QStringList{about, v4, f4, u"-"_s, kNone};
    }
    void shown() {
        QFETCH(CVersion, version);
        QFETCH(QStringList, registry);
        Sandbox box;
        MessageRecorder rec;
        for (const QString& tool : {u"tools/info"_s, u"tools/msinfo32"_s}) {
            box.Write(tool, "#!/bin/sh\ntouch \"$0.ran\"\n");
            QFile::setPermissions(box.Path(tool), QFile::ReadOwner | QFile::ExeOwner);
        }
        box.WriteLines(u"registry.ini"_s, registry.replaceInStrings(u"@"_s, box.Path()));
        FAbout about(nullptr, version);
        auto text = [&](const char* name) {
            auto* label = about.findChild<QLabel*>(QString::fromLatin1(name));
            return label->isHidden() ? u"-"_s : label->text();
        };
        QStringList shown = {about.windowTitle(), text("lblProduct"), text("lblVersion"),
                             text("lblBetaVersion")};
        QTest::mouseClick(about.findChild<QWidget*>(u"cmdSysInfo"_s), Qt::LeftButton);
        auto ran = [&](const QString& tool) { return QFile::exists(box.Path(tool + u".ran"_s)); };
        QTRY_VERIFY(!rec.Messages().isEmpty() || ran(u"tools/info"_s) || ran(u"tools/msinfo32"_s));
        for (const Platform::Message& m : rec.Messages())
            shown << m.title + u": "_s + m.text +
                         (m.icon == Platform::MsgIcon::Exclamation ? u" (!)"_s : QString());
        for (const QString& tool : {u"tools/info"_s, u"tools/msinfo32"_s})
            if (ran(tool)) shown << u"ran "_s + tool;
        QTEST(shown, "shown");
    }
};

QTEST_MAIN(TestFAbout)
#include "tst_fabout.moc"
