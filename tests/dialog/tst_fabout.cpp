// The About window: its version lines, the beta mark from the registry file, and System Info
// started from either registry value or reported as not available.
#include "dialog/fabout.h"
#include "testsupport.h"

#include <QtTest>
#include <QtWidgets>

class TestFAbout : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // The version; registry sections and values, "|"-joined, "P" the product's key, "I" and
    // "L" System Info's, "@" the sandbox; then the version lines, the beta mark and what
    // System Info does ("-": not available), "|"-joined.
    void shown_data() {
        Table("version registry shown",
              {"revision 0, neither value¦4.0.0¦¦QorvLog 4.0.0|File Version: 4.00|-|-",
               "revision 1, path¦4.1.1¦I|PATH = @/tools/info¦QorvLog 4.1.1|File Version: "
               "4.01.0001|-|ran tools/info",
               "two-digit parts, folder¦12.10.2345¦L|MSINFO = @/tools¦QorvLog 12.10.2345|File "
               "Version: 12.10.2345|-|ran tools/msinfo32",
               "beta, neither value¦4.0.0¦P|BetaVersion = 1¦QorvLog 4.0.0|File Version: 4.00|BETA "
               "VERSION|-",
               "beta as a number, folder with separator¦4.0.0¦P|BetaVersion = dword:00000001|L|"
               "MSINFO = @/tools/¦QorvLog 4.0.0|File Version: 4.00|BETA VERSION|ran tools/msinfo32",
               "not beta, path to nothing¦4.0.0¦P|BetaVersion = 0|I|PATH = @/tools/gone¦QorvLog "
               "4.0.0|File Version: 4.00|-|-",
               "another major version's beta, path to nothing and a folder¦4.0.0¦P3|BetaVersion = "
               "1|I|PATH = @/tools/gone|L|MSINFO = @/tools¦QorvLog 4.0.0|File Version: 4.00|-|-"});
    }
    void shown() {
        QFETCH(QString, version);
        QFETCH(QString, registry);
        QFETCH(QString, shown);
        const QString key = u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\"_s;
        const QHash<QString, QString> sections{
            {u"P"_s, key + u"Velmora Group\\Kestova Sentrel\\4]"_s},
            {u"P3"_s, key + u"Velmora Group\\Kestova Sentrel\\3]"_s},
            {u"I"_s, key + u"Microsoft\\Shared Tools\\MSINFO]"_s},
            {u"L"_s, key + u"Microsoft\\Shared Tools Location]"_s}};
        Sandbox box;
        MessageRecorder rec;
        for (const QString& tool : {u"tools/info"_s, u"tools/msinfo32"_s}) {
            box.Write(tool, "#!/bin/sh\ntouch \"$0.ran\"\n");
            QFile::setPermissions(box.Path(tool), QFile::ReadOwner | QFile::ExeOwner);
        }
        QStringList lines = registry.replace(u'@', box.Path()).split(u'|', Qt::SkipEmptyParts);
        for (QString& l : lines) l = sections.value(l, l);
        box.WriteLines(u"registry.ini"_s, lines);
        const QStringList v = version.split(u'.');
        FAbout about(nullptr, CVersion{v[0].toInt(), v[1].toInt(), v[2].toInt()});
        auto text = [&](const char* name) {
            auto* label = about.findChild<QLabel*>(QString::fromLatin1(name));
            return label->isHidden() ? u"-"_s : label->text();
        };
        about.layout()->activate(); // the logo, the first label, beside the title's top
        const QRect logo = about.findChild<QLabel*>()->geometry(),
                    title = about.findChild<QLabel*>(u"lblTitle"_s)->geometry();
        QVERIFY(logo.right() < title.left() && logo.top() == title.top());
        QStringList got = {text("lblProduct"), text("lblVersion"), text("lblBetaVersion")};
        QTest::mouseClick(about.findChild<QWidget*>(u"cmdSysInfo"_s), Qt::LeftButton);
        auto ran = [&](const QString& tool) { return QFile::exists(box.Path(tool + u".ran"_s)); };
        QTRY_VERIFY(!rec.Messages().isEmpty() || ran(u"tools/info"_s) || ran(u"tools/msinfo32"_s));
        for (const Platform::Message& m : rec.Messages()) // not available
            QCOMPARE(m.title + u": "_s + m.text + u' ' + QString::number(int(m.icon)),
                     u"QorvLog: System Info is not available. %1"_s.arg(
                         int(Platform::MsgIcon::Exclamation)));
        if (rec.Messages().size() == 1) got << u"-"_s;
        for (const QString& tool : {u"tools/info"_s, u"tools/msinfo32"_s})
            if (ran(tool)) got << u"ran "_s + tool;
        QCOMPARE(got.join(u'|'), shown);
    }
};

QTEST_MAIN(TestFAbout)
#include "tst_fabout.moc"
