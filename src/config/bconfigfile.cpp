#include "config/bconfigfile.h"

#include "common/bcommon.h"
#include "common/environment.h"
#include "common/values.h"
#include "platform/files.h"
#include "platform/ini_document.h"

#include <QHash>

namespace {
constexpr int kBufferSize = 2048;
constexpr QChar kCR = QLatin1Char('\r');

// An open file, and the section its last lookup found: readers ask for the keys of one
// section after another, a list of tens of thousands of them.
struct COpenIni {
    std::shared_ptr<const Platform::IniDocument> doc;
    QString lastName;
    const Platform::IniDocument::Section* last = nullptr;
    qsizetype next = -1; // in it
};

QHash<qint32, COpenIni>& Handles() {
    static QHash<qint32, COpenIni> handles;
    return handles;
}
} // namespace

qint32 OpenIni(const QString& path) {
    static qint32 next = 0;
    auto doc = Platform::IniDocument::Open(path);
    if (!doc) return 0;
    do {
        next = next == INT32_MAX ? 1 : next + 1;
    } while (Handles().contains(next));
    Handles().insert(next, COpenIni{std::move(doc), {}, nullptr, -1});
    return next;
}

QString GetIniString(const QString& section, const QString& key, const QString& def,
                     qint32 handle) {
    const auto open = Handles().find(handle);
    std::optional<QStringView> v;
    if (open != Handles().end()) {
        if (open->lastName.isNull() || open->lastName != section) {
            open->last = open->doc->FindSection(section);
            open->lastName = section;
            open->next = -1;
        }
        v = Platform::IniDocument::Find(open->last, key, &open->next);
    }
    return v ? v->left(kBufferSize).toString() : def.left(kBufferSize);
}

void CloseIni(qint32 handle) {
    Handles().remove(handle);
}

void ShowConfigMessage(const QString& text, Platform::MsgIcon icon) {
    Platform::Message m;
    m.text = text;
    m.title = gEnv.m_sTitle;
    m.icon = icon;
    Platform::ShowMessage(m);
}

void ShowEntryMessage(const QString& section, const QString& key, const QString& path,
                      const QString& what, Platform::MsgIcon icon) {
    ShowConfigMessage(QStringLiteral("Entry [") + section + QStringLiteral("].") + key + what +
                          QStringLiteral(" in configuration file:") + kCR + path,
                      icon);
}

void ShowUnableToOpen(const QString& path) {
    ShowConfigMessage(QStringLiteral("Unable to open configuration file:") + kCR + path);
}

QString GetPPS(const QString& section, const QString& key, const QString& fileName, qint32 handle,
               bool allowBlank, bool allowMissing) {
    const QString value = GetIniString(section, key, kMissing, handle).trimmed();
    const auto entry = [&] {
        return QStringLiteral("Entry [") + section + QStringLiteral("].") + key;
    };
    if (value == kMissing) {
        if (!allowMissing)
            ShowConfigMessage(entry() + QStringLiteral(" not found in file:") + kCR + fileName);
        return kMissing;
    }
    if (value.isEmpty()) {
        if (allowBlank) return value;
        ShowConfigMessage(entry() + QStringLiteral(" is blank in file:") + kCR + fileName);
        return kMissing;
    }
    return value;
}

bool ReadMandatory(const CIniSource& src, const QString& section, const QString& key,
                   QString& value, bool allowBlank) {
    const QString v = GetPPS(section, key, src.path, src.handle, allowBlank, false);
    if (v == kMissing) return false;
    value = v;
    return true;
}

void ReadOptional(const CIniSource& src, const QString& section, const QString& key, QString& value,
                  bool allowBlank) {
    const QString v = GetPPS(section, key, src.path, src.handle, allowBlank, true);
    if (v != kMissing) value = v;
}

static QChar FirstUpper(const QString& text) {
    return text.isEmpty() ? QChar() : text[0].toUpper();
}

bool LenientFlag(const QString& text) {
    const QChar c = FirstUpper(text);
    return c == QLatin1Char('1') || c == QLatin1Char('T') || c == QLatin1Char('Y');
}

bool ReadStrictBool(const CIniSource& src, const QString& section, const QString& key, bool& value,
                    Platform::MsgIcon icon) {
    QString text;
    if (!ReadMandatory(src, section, key, text)) return false;
    const QChar c = FirstUpper(text);
    if (c.isNull() || !QStringLiteral("TFYN10").contains(c)) {
        ShowEntryMessage(section, key, src.path, QStringLiteral(" is not valid"), icon);
        return false;
    }
    value = LenientFlag(text);
    return true;
}

void ReadLenientBool(const CIniSource& src, const QString& section, const QString& key,
                     bool& value) {
    const QString v = GetPPS(section, key, src.path, src.handle, false, true);
    if (v != kMissing) value = LenientFlag(v);
}

bool CheckNumber(const QString& text, const CIniSource& src, const QString& section,
                 const QString& key, qint32 low, qint32 high, qint32& value) {
    switch (ToWholeNumber(text, low, high, &value)) {
    case NumberCheck::NotNumeric:
        ShowEntryMessage(section, key, src.path, QStringLiteral(" is not numeric"));
        return false;
    case NumberCheck::OutOfRange:
        ShowEntryMessage(section, key, src.path, QStringLiteral(" is not valid"));
        return false;
    case NumberCheck::Ok:
        break;
    }
    return true;
}

bool ReadNumber(const CIniSource& src, const QString& section, const QString& key, qint32 low,
                qint32 high, qint32& value) {
    QString text;
    return ReadMandatory(src, section, key, text) &&
           CheckNumber(text, src, section, key, low, high, value);
}

bool FindConfigFile(QString& path, bool silent) {
    const QChar cr = kCR;
    auto prompt = [&](const QString& candidate) {
        Platform::Message m;
        m.text = QStringLiteral("Found configuration parameters file:") + cr + candidate + cr + cr +
                 QStringLiteral("This is not a standard location for this file.") + cr +
                 QStringLiteral("Do you want to continue anyway using this file?");
        m.title = gEnv.m_sTitle;
        m.icon = Platform::MsgIcon::Exclamation;
        m.buttons = Platform::MsgButtons::YesNo;
        m.defaultButton = 2;
        return Platform::ShowMessage(m) == Platform::MsgAnswer::Yes;
    };
    if (!gEnv.m_sconfigfile.isEmpty() && !FindFile(gEnv.m_sconfigfile).isEmpty()) {
        path = gEnv.m_sconfigfile;
        return true;
    }
    QString candidate = AddBackslash(gEnv.m_sOrigConfigFile) + QStringLiteral("Config.ini");
    if (!gEnv.m_sOrigConfigFile.isEmpty() && Platform::IsFile(candidate)) {
        if (!silent && !prompt(candidate)) return false;
        path = candidate;
        return true;
    }
    candidate = AddBackslash(gEnv.m_sLocalUserPath) + QStringLiteral("Config.ini");
    if (!gEnv.m_sLocalUserPath.isEmpty() && Platform::IsFile(candidate) && prompt(candidate)) {
        path = candidate;
        return true;
    }
    return false;
}

bool WriteIniFileSection(CLineWriter& file, const QString& name) {
    return file.WriteLine(name.isEmpty() ? QString() : QLatin1Char('[') + name + QLatin1Char(']'));
}

bool WriteIniFileValue(CLineWriter& file, const QString& key, const QString& value) {
    return file.WriteLine(key.leftJustified(24, QLatin1Char(' ')) + QStringLiteral(" = ") + value);
}
