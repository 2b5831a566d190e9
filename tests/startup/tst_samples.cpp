// The registry file the package installs, read as the program reads it: it names the shared
// configuration and the program folder.
#include "common/bcommon.h"
#include "config/bregistry.h"
#include "config/cconfigoptions.h"
#include "testsupport.h"

#include <QFile>
#include <QTest>

using namespace Qt::StringLiterals;

class TestSamples : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void registryFile() {
        Sandbox box;
        MessageRecorder rec;
        QFile sample(QStringLiteral(QORVLOG_PACKAGING "/registry.ini"));
        QVERIFY(sample.open(QIODevice::ReadOnly));
        box.Write(u"registry.ini"_s, sample.readAll());
        QCOMPARE(GetConfigFile(), u"/mnt/qorvlog/Config.ini"_s);
        const QString run = GetMachineKeyValue(
            u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"_s, u"Kestova Sentrel"_s);
        QCOMPARE(FolderOf(run), QStringLiteral(QORVLOG_PROGRAM_DIR "/"));
        // The examples in comments stay comments.
        for (auto [key, name] : {std::pair{ProductKey(), u"BetaVersion"_s},
                                 {u"SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"_s, u"PATH"_s}})
            QCOMPARE(GetMachineKeyValue(key, name), u"(unknown)"_s);
        QCOMPARE(rec.Messages().size(), 0);
    }
};

QTEST_MAIN(TestSamples)
#include "tst_samples.moc"
