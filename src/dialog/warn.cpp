#include "dialog/warn.h"

#include "common/environment.h"
#include "platform/messages.h"

void Warn(const QString& text) {
    Platform::Message m;
    m.text = text;
    m.title = gEnv.m_sAppTitle;
    m.icon = Platform::MsgIcon::Exclamation;
    m.buttons = Platform::MsgButtons::OK;
    Platform::ShowMessage(m);
}
