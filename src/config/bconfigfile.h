#pragma once
// INI access for the configuration readers: the open/get/close contract, the entry reader
// GetPPS, the shared validation rules with their messages, the search for the configuration
// file, and the two line writers.
#include "common/linewriter.h"
#include "platform/messages.h"

#include <QString>

// Open returns a handle, 0 when the file cannot be opened.
qint32 OpenIni(const QString& path);
// The value of key in section (at most 2048 characters), or def when absent.
QString GetIniString(const QString& section, const QString& key, const QString& def, qint32 handle);
void CloseIni(qint32 handle);

// Opens a file for a reading pass and closes it when the pass ends.
class CIniHandle {
public:
    explicit CIniHandle(const QString& path) : m_handle(OpenIni(path)) {}
    ~CIniHandle() { CloseIni(m_handle); }
    CIniHandle(const CIniHandle&) = delete;
    CIniHandle& operator=(const CIniHandle&) = delete;
    qint32 Get() const { return m_handle; }

private:
    qint32 m_handle;
};

QString GetPPS(const QString& section, const QString& key, const QString& fileName, qint32 handle,
               bool allowBlank, bool allowMissing);

// A message box of the configuration readers: OK button, program title.
void ShowConfigMessage(const QString& text,
                       Platform::MsgIcon icon = Platform::MsgIcon::Exclamation);
// "Entry [section].key" + what + " in configuration file:" CR path.
void ShowEntryMessage(const QString& section, const QString& key, const QString& path,
                      const QString& what, Platform::MsgIcon icon = Platform::MsgIcon::Exclamation);
void ShowUnableToOpen(const QString& path);

// Where a reader reads from: the file name (for messages) and the open handle.
struct CIniSource {
    QString path;
    qint32 handle = 0;
};

// Mandatory entry: false (message shown) when missing, or when blank unless allowBlank.
bool ReadMandatory(const CIniSource& src, const QString& section, const QString& key,
                   QString& value, bool allowBlank = false);
// Optional entry: leaves value as it is when missing (silently) or when blank (with the
// "is blank" message, unless allowBlank, which makes blank a value like any other).
void ReadOptional(const CIniSource& src, const QString& section, const QString& key, QString& value,
                  bool allowBlank);
// Strict Boolean, mandatory: first character in "TFYN10" or a failure.
bool ReadStrictBool(const CIniSource& src, const QString& section, const QString& key, bool& value,
                    Platform::MsgIcon icon = Platform::MsgIcon::Exclamation);
// Lenient Boolean: missing keeps the default silently, blank keeps it with a message,
// otherwise true exactly for a first character 1, T or Y.
void ReadLenientBool(const CIniSource& src, const QString& section, const QString& key,
                     bool& value);
// True when the upper-cased first character is 1, T or Y.
bool LenientFlag(const QString& text);
// Mandatory number converted to 32 bits (halves to even) within [low, high].
bool ReadNumber(const CIniSource& src, const QString& section, const QString& key, qint32 low,
                qint32 high, qint32& value);
// Validates an already read text as such a number (messages as ReadNumber).
bool CheckNumber(const QString& text, const CIniSource& src, const QString& section,
                 const QString& key, qint32 low, qint32 high, qint32& value);
constexpr qint32 kMaxCount = 32767;

// The count entry countKey (0 to 32767), then readItem(n) for n from 1 to the count; stops
// at the first failure.
template <class F>
bool ReadCounted(const CIniSource& src, const QString& section, const QString& countKey,
                 F&& readItem) {
    qint32 count = 0;
    if (!ReadNumber(src, section, countKey, 0, kMaxCount, count)) return false;
    for (qint32 n = 1; n <= count; ++n)
        if (!readItem(n)) return false;
    return true;
}

bool FindConfigFile(QString& path, bool silent);

bool WriteIniFileSection(CLineWriter& file, const QString& name);
bool WriteIniFileValue(CLineWriter& file, const QString& key, const QString& value);
// countKey = the number of items, then writeItem(item, n) for each item from 1; stops at the
// first failure.
template <class C, class F>
bool WriteCounted(CLineWriter& file, const QString& countKey, const C& items, F&& writeItem) {
    if (!WriteIniFileValue(file, countKey, QString::number(items.Count()))) return false;
    int n = 0;
    for (const auto& item : items)
        if (!writeItem(*item, ++n)) return false;
    return true;
}
inline QString BoolText(bool b) {
    return b ? QStringLiteral("True") : QStringLiteral("False");
}
