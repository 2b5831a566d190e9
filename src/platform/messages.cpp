#include "platform/messages.h"

#include "platform/system.h"

#include <QApplication>
#include <QFile>
#include <QList>
#include <QMessageBox>
#include <cstdio>
#include <utility>

namespace Platform {

static MessageHandler& Handler() {
    static MessageHandler handler;
    return handler;
}

MessageHandler SetMessageHandler(MessageHandler handler) {
    return std::exchange(Handler(), std::move(handler));
}

HeldMessages::HeldMessages() : m_previous(Handler()) {
    Handler() = [this](const Message& m) {
        m_held << m;
        return DefaultAnswer(m);
    };
}

HeldMessages::~HeldMessages() {
    if (m_holding) Handler() = std::move(m_previous);
}

void HeldMessages::Replay() {
    if (!m_holding) return;
    m_holding = false;
    Handler() = std::move(m_previous);
    const QList<Message> held = std::exchange(m_held, {});
    for (const Message& m : held) ShowMessage(m);
}

static QList<MsgAnswer> Buttons(MsgButtons b) {
    switch (b) {
    case MsgButtons::OK:
        return {MsgAnswer::OK};
    case MsgButtons::OKCancel:
        return {MsgAnswer::OK, MsgAnswer::Cancel};
    case MsgButtons::AbortRetryIgnore:
        return {MsgAnswer::Abort, MsgAnswer::Retry, MsgAnswer::Ignore};
    case MsgButtons::YesNoCancel:
        return {MsgAnswer::Yes, MsgAnswer::No, MsgAnswer::Cancel};
    case MsgButtons::YesNo:
        return {MsgAnswer::Yes, MsgAnswer::No};
    case MsgButtons::RetryCancel:
        return {MsgAnswer::Retry, MsgAnswer::Cancel};
    }
    return {MsgAnswer::OK};
}

MsgAnswer DefaultAnswer(const Message& m) {
    const auto buttons = Buttons(m.buttons);
    const qsizetype index = m.defaultButton >= 1 ? m.defaultButton - 1 : 0;
    return index < buttons.size() ? buttons[index] : buttons.first();
}

QString OneLine(const QString& text) {
    QString out = text;
    out.replace(QLatin1String("\r\n"), QLatin1String("\\n"));
    out.replace(QLatin1Char('\r'), QLatin1String("\\n"));
    out.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    return out;
}

QByteArray StandardErrorText(const QString& text) {
    if (!StandardErrorIsTerminal()) return OneLine(text).toUtf8() + '\n';
    QString lines = text;
    lines.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    lines.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QString name = QCoreApplication::applicationName(); // qorvlog or qorvmond
    if (name.isEmpty()) name = QStringLiteral("qorvlog");
    return (name + QLatin1String(": ") + lines).toUtf8() + '\n';
}

static QMessageBox::StandardButton ToQt(MsgAnswer a) {
    switch (a) {
    case MsgAnswer::OK:
        return QMessageBox::Ok;
    case MsgAnswer::Cancel:
        return QMessageBox::Cancel;
    case MsgAnswer::Abort:
        return QMessageBox::Abort;
    case MsgAnswer::Retry:
        return QMessageBox::Retry;
    case MsgAnswer::Ignore:
        return QMessageBox::Ignore;
    case MsgAnswer::Yes:
        return QMessageBox::Yes;
    case MsgAnswer::No:
        return QMessageBox::No;
    }
    return QMessageBox::Ok;
}

static MsgAnswer ShowBox(const Message& m) {
    QMessageBox box;
    box.setWindowTitle(m.title);
    box.setText(QString(m.text).replace(QLatin1Char('\r'), QLatin1Char('\n')));
    switch (m.icon) {
    case MsgIcon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case MsgIcon::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    case MsgIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    case MsgIcon::Exclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    case MsgIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    }
    QMessageBox::StandardButtons buttons;
    for (MsgAnswer a : Buttons(m.buttons)) buttons |= ToQt(a);
    box.setStandardButtons(buttons);
    box.setDefaultButton(ToQt(DefaultAnswer(m)));
    const int result = box.exec();
    for (MsgAnswer a : Buttons(m.buttons))
        if (result == ToQt(a)) return a;
    return DefaultAnswer(m);
}

MsgAnswer ShowMessage(const Message& message) {
    if (Handler()) return Handler()(message);
    const QString target = qEnvironmentVariable("QORVLOG_MESSAGES");
    const bool gui = qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
    if (!target.isEmpty() || !gui) {
        if (target.isEmpty() || target == QLatin1String("-")) {
            const QByteArray text = StandardErrorText(message.text);
            std::fwrite(text.constData(), 1, size_t(text.size()), stderr);
            std::fflush(stderr);
        } else {
            QFile f(target);
            if (f.open(QIODevice::WriteOnly | QIODevice::Append))
                f.write(OneLine(message.text).toUtf8() + '\n');
        }
        return DefaultAnswer(message);
    }
    return ShowBox(message);
}

} // namespace Platform
