#pragma once
// The one message service: every message box of the program goes through ShowMessage.
#include <QList>
#include <QString>
#include <functional>

namespace Platform {

enum class MsgIcon { None, Critical, Question, Exclamation, Information };
enum class MsgButtons { OK, OKCancel, AbortRetryIgnore, YesNoCancel, YesNo, RetryCancel };
enum class MsgAnswer { OK = 1, Cancel, Abort, Retry, Ignore, Yes, No };

struct Message {
    QString text;
    QString title;
    MsgIcon icon = MsgIcon::Exclamation;
    MsgButtons buttons = MsgButtons::OK;
    int defaultButton = 1; // 1, 2 or 3: which of the buttons is the default
};

// The answer of the default button of a message.
MsgAnswer DefaultAnswer(const Message& message);
// The text as one line: every CR (and LF) written as the two characters "\n".
QString OneLine(const QString& text);
// The text for standard error, line end included: at a terminal its own lines after the
// program's name ("qorvlog: "), else one line.
QByteArray StandardErrorText(const QString& text);

// Shows the message: through the installed handler when there is one, else to the file named
// by $QORVLOG_MESSAGES ("-" for standard error) answering with the default button, else in a
// message box when a GUI runs, else on standard error (see StandardErrorText).
MsgAnswer ShowMessage(const Message& message);

using MessageHandler = std::function<MsgAnswer(const Message&)>;
// Installs a handler (tests, command-line modes); an empty one restores the default. Returns
// the handler it replaces.
MessageHandler SetMessageHandler(MessageHandler handler);

// Holds back every message while it lives, each answered by its default button; Replay
// shows them (after the fact) the way they would have been shown.
class HeldMessages {
public:
    HeldMessages();
    ~HeldMessages();
    HeldMessages(const HeldMessages&) = delete;
    HeldMessages& operator=(const HeldMessages&) = delete;
    void Clear() { m_held.clear(); }
    // Stops holding and shows what was held.
    void Replay();

private:
    MessageHandler m_previous;
    QList<Message> m_held;
    bool m_holding = true;
};

} // namespace Platform
