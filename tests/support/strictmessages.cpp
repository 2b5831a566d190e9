// Linked into every test program: a message nobody expected fails the running test at once and
// is answered by its default button, so that a fault never leaves a test waiting on a box
// nobody answers. Tests that expect messages install a MessageRecorder over this.
#include "platform/messages.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMessageBox>
#include <QPointer>
#include <QTest>

namespace {
void Unexpected(const QString& what) {
    const QByteArray text = ("unexpected message: " + what).toUtf8();
    if (!QTest::currentTestFunction()) qFatal("%s", text.constData());
    QTest::qFail(text.constData(), __FILE__, __LINE__);
}

// Boxes that do not go through the message service: Qt's own. Closed once their loop runs.
class CBoxCloser : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Show) return false;
        if (auto* box = qobject_cast<QMessageBox*>(watched)) {
            Unexpected(box->windowTitle() + QStringLiteral(": ") + Platform::OneLine(box->text()));
            QMetaObject::invokeMethod(
                box,
                [box = QPointer(box)] {
                    if (box) box->done(QDialog::Rejected);
                },
                Qt::QueuedConnection);
        }
        return false;
    }
};

void FailOnUnexpectedMessages() {
    Platform::SetMessageHandler([](const Platform::Message& m) {
        Unexpected(m.title + QStringLiteral(": ") + Platform::OneLine(m.text));
        return Platform::DefaultAnswer(m);
    });
    QCoreApplication::instance()->installEventFilter(new CBoxCloser(QCoreApplication::instance()));
}
} // namespace

Q_COREAPP_STARTUP_FUNCTION(FailOnUnexpectedMessages)
