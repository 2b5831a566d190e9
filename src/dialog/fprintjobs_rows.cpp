// The entry rows of the job entry window: one row per category of the selected job's printer
// group, with its list of values, laid out on the scrolled canvas.
#include "categories/categoryrules.h"
#include "categories/ccategory.h"
#include "categories/ccategoryvalue.h"
#include "common/bcommon.h"
#include "config/cprintergroup.h"
#include "dialog/fprintjobs.h"
#include "dialog/twips.h"
#include "dialog/typeahead.h"
#include "jobs/masterfields.h"
#include "platform/files.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringListModel>
#include <QTreeWidget>

namespace {
// Layout of the rows (twips).
constexpr int kLabelLeft = 360, kLabelTop = 645, kEntryTop = 600, kRowStep = 360;
constexpr int kEntryGap = 480, kTextSlack = 720, kMinRowWidth = 4000, kEdge = 120;
} // namespace

QWidget* FPrintJobs::CEntryRow::Field() const {
    return masked ? static_cast<QWidget*>(masked) : combo;
}

void FPrintJobs::AddListEntries(QComboBox* combo, const CCategory& category, CPrintJobInfo& job) {
    QStringList entries = CategoryListEntries(category, job);
    entries << QStringLiteral(" "); // the way to choose an empty value
    // An entry reads in the field as it can be stored, so that the list still holds it.
    for (QString& entry : entries) entry.truncate(kValueTextWidth);
    // A plain list model: a list of tens of thousands of clients loads in milliseconds, where
    // an item each would cost many times that.
    combo->setModel(new QStringListModel(entries, combo));
    combo->setCurrentIndex(-1);
    combo->setEditText(QString());
}

void FPrintJobs::LoadUserValues(CPrintJobInfo& job) {
    picCategories->setUpdatesEnabled(false);
    mclsPrinterGroup = job.PrinterGroup();
    const QHash<int, QString> entered = m_entered.value(job.JobFileName);
    int position = 0;
    if (mclsPrinterGroup) {
        for (const auto& category : mclsPrinterGroup->Categories) {
            const auto value = job.CategoryValues.Item(++position);
            if (!category->DisplayRequired(value && value->ValueKnown)) continue;
            const int d = int(m_rows.size()) + 1;
            CEntryRow row;
            row.position = position;
            row.category = category;
            const QString name = category->CategoryName;
            const QString number = QString::number(d);
            row.label = new QLabel(CheckAmpersands(name), picCategories);
            row.label->setObjectName(QStringLiteral("lblCategory") + number);
            row.combo = new QComboBox(picCategories);
            row.combo->setObjectName(QStringLiteral("cboCategoryDropdownCombo") + number);
            row.combo->setEditable(true);
            row.combo->setInsertPolicy(QComboBox::NoInsert);
            row.combo->setCompleter(nullptr); // the type-ahead popup offers the entries
            // The rows are placed by hand: the size hint must not measure every entry.
            row.combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
            // No more is typed than the value can be stored with.
            row.combo->lineEdit()->setMaxLength(kValueTextWidth);
            AddListEntries(row.combo, *category, job);
            if (value && value->ValueKnown) {
                const int at = row.combo->findText(value->ValueString,
                                                   Qt::MatchExactly | Qt::MatchCaseSensitive);
                if (at >= 0) row.combo->setCurrentIndex(at);
            }
            row.loaded = row.combo->currentText();
            // What the user changed for this job before; it is acknowledged again like any
            // loaded value.
            if (const auto shown = entered.constFind(position); shown != entered.cend()) {
                row.combo->setCurrentIndex(
                    row.combo->findText(*shown, Qt::MatchExactly | Qt::MatchCaseSensitive));
                row.combo->setEditText(*shown);
            }
            if (category->MaskUserInput) {
                row.masked = new QLineEdit(picCategories);
                row.masked->setObjectName(QStringLiteral("cboCategoryTextBox") + number);
                row.masked->setEchoMode(QLineEdit::Password);
                row.masked->setMaxLength(kValueTextWidth);
                row.masked->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
                row.masked->setText(row.combo->currentText());
                row.combo->hide();
            }
            row.Field()->setAccessibleName(name);
            row.label->setBuddy(row.Field());
            for (QObject* watched :
                 {static_cast<QObject*>(row.combo), static_cast<QObject*>(row.combo->lineEdit()),
                  static_cast<QObject*>(row.masked)})
                if (watched) watched->installEventFilter(this);
            connect(row.combo->lineEdit(), &QLineEdit::textEdited, this,
                    [this, d](const QString& text) {
                        m_typeAhead->Update(m_rows[size_t(d - 1)].combo, text);
                    });
            connect(row.combo, &QComboBox::editTextChanged, this,
                    [this, d] { CoupleQualityCost(d); });
            if (row.masked)
                connect(row.masked, &QLineEdit::textEdited, this, [this, d](const QString& text) {
                    m_rows[size_t(d - 1)].combo->setEditText(text);
                });
            m_rows.push_back(row);
            mabAcknowledged.push_back(!category->AckDefaultValues);
        }
    }
    LayOutRows();
    for (const CEntryRow& row : m_rows) {
        row.label->show();
        row.Field()->show();
    }
    // The cost follows from the quality: its row is not shown.
    if (!m_rows.empty() && m_rows.back().category->CategoryName == QLatin1String("Cost")) {
        m_rows.back().label->hide();
        m_rows.back().Field()->hide();
    }
    picCategories->setUpdatesEnabled(true);
    ChainTabOrder();
    if (m_focusPosition != 0) {
        for (const CEntryRow& row : m_rows)
            if (row.position == m_focusPosition && row.Field()->isVisible())
                row.Field()->setFocus(Qt::OtherFocusReason);
        m_focusPosition = 0;
    }
}

void FPrintJobs::KeepEnteredValues() {
    if (m_rows.empty()) return;
    QHash<int, QString> changed;
    for (const CEntryRow& row : m_rows)
        if (row.combo->currentText() != row.loaded)
            changed.insert(row.position, row.combo->currentText());
    for (const QString& name : std::as_const(m_shownFor))
        if (changed.isEmpty() || !mclsPrintJobs->Exists(name))
            m_entered.remove(name);
        else
            m_entered.insert(name, changed);
}

void FPrintJobs::UnloadUserValues() {
    KeepEnteredValues();
    m_shownFor.clear();
    m_typeAhead->Reset();
    m_focusPosition = 0;
    if (const int d = RowOf(QApplication::focusWidget()); d > 0)
        m_focusPosition = m_rows[size_t(d - 1)].position;
    picCategories->setUpdatesEnabled(false);
    // Out of the table first: the focus leaving a field that is being deleted finds no row.
    const std::vector<CEntryRow> rows = std::move(m_rows);
    m_rows.clear();
    mabAcknowledged.clear();
    for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
        for (QObject* w :
             {static_cast<QObject*>(row->combo), static_cast<QObject*>(row->combo->lineEdit()),
              static_cast<QObject*>(row->masked)})
            if (w) w->disconnect(this);
        delete row->label;
        delete row->masked;
        delete row->combo;
    }
    mclsPrinterGroup.reset();
    LayOutRows();
    picCategories->setUpdatesEnabled(true);
}

void FPrintJobs::LayOutRows() {
    using namespace Twips;
    const QFontMetrics metrics(picCategories->font());
    double labelWidth = 0, entryWidth = 0;
    for (const CEntryRow& row : m_rows) {
        labelWidth = std::max(labelWidth,
                              FromPixelsX(metrics.horizontalAdvance(row.category->CategoryName)));
        entryWidth =
            std::max(entryWidth, FromPixelsX(metrics.horizontalAdvance(row.combo->currentText())));
    }
    entryWidth += kTextSlack;
    if (labelWidth + entryWidth < kMinRowWidth) entryWidth = kMinRowWidth - labelWidth;
    const int pitch = ToPixelsY(kRowStep);
    int right = lblInstructions->geometry().right() + ToPixelsX(kEdge);
    int bottom = lblInstructions->geometry().bottom() + ToPixelsY(kEdge);
    for (size_t i = 0; i < m_rows.size(); ++i) {
        const CEntryRow& row = m_rows[i];
        const int height = std::min(row.Field()->sizeHint().height(), pitch);
        const int top = ToPixelsY(kEntryTop + double(i) * kRowStep);
        row.label->setGeometry(ToPixelsX(kLabelLeft), ToPixelsY(kLabelTop + double(i) * kRowStep),
                               ToPixelsX(labelWidth + kEdge), row.label->sizeHint().height());
        const QRect field(ToPixelsX(labelWidth + kEntryGap), top, ToPixelsX(entryWidth), height);
        row.combo->setGeometry(field);
        if (row.masked) row.masked->setGeometry(field);
        right = std::max(right, field.x() + field.width() + ToPixelsX(kEdge));
        bottom = std::max(bottom, field.y() + field.height() + ToPixelsY(kEdge));
    }
    picCategories->resize(right, bottom);
}

void FPrintJobs::ChainTabOrder() {
    QList<QWidget*> chain;
    for (const CEntryRow& row : m_rows)
        if (!row.Field()->isHidden()) chain << row.Field();
    chain << cmdSave << cmdCancel << lvwPrintJobs << cmdHelp << cmdAbout;
    for (qsizetype i = 1; i < chain.size(); ++i) QWidget::setTabOrder(chain[i - 1], chain[i]);
}

void FPrintJobs::FocusFirstRow() {
    for (const CEntryRow& row : m_rows)
        if (!row.Field()->isHidden()) {
            row.Field()->setFocus(Qt::TabFocusReason);
            return;
        }
    lvwPrintJobs->setFocus(Qt::TabFocusReason);
}

int FPrintJobs::RowOf(const QObject* widget) const {
    if (!widget) return 0;
    for (size_t i = 0; i < m_rows.size(); ++i) {
        const CEntryRow& row = m_rows[i];
        if (widget == row.combo || widget == row.combo->lineEdit() || widget == row.masked)
            return int(i) + 1;
    }
    return 0;
}

void FPrintJobs::CoupleQualityCost(int d) {
    const CEntryRow& quality = m_rows[size_t(d - 1)];
    if (quality.category->CategoryName != QLatin1String("Quality")) return;
    const QString text = quality.combo->currentText();
    for (const CEntryRow& row : m_rows) {
        if (row.category->CategoryName != QLatin1String("Cost")) continue;
        const int last = std::min(quality.combo->count(), row.combo->count());
        int chosen = 0;
        for (int k = 0; k < last; ++k)
            if (row.combo->itemText(k).contains(text, Qt::CaseInsensitive)) {
                chosen = k;
                break;
            }
        row.combo->setCurrentIndex(chosen);
        row.combo->setEditText(row.combo->itemText(chosen));
        if (row.masked) row.masked->setText(row.combo->currentText());
    }
}

bool FPrintJobs::eventFilter(QObject* watched, QEvent* event) {
    const int d = RowOf(watched);
    if (d == 0) return QWidget::eventFilter(watched, event);
    const CEntryRow& row = m_rows[size_t(d - 1)];
    switch (event->type()) {
    case QEvent::FocusIn:
        mabAcknowledged[size_t(d - 1)] = true;
        break;
    case QEvent::FocusOut:
        if (watched == row.masked) {
            row.combo->setEditText(row.masked->text());
            mabAcknowledged[size_t(d - 1)] = true;
        }
        m_typeAhead->Hide();
        break;
    case QEvent::KeyPress:
        return HandleRowKey(static_cast<QKeyEvent*>(event));
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

bool FPrintJobs::HandleRowKey(QKeyEvent* key) {
    switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (key->modifiers() & ~Qt::KeypadModifier) return false;
        m_typeAhead->Take();
        focusNextChild();
        return true;
    case Qt::Key_Down:
        return !(key->modifiers() & Qt::AltModifier) && m_typeAhead->Move(1);
    case Qt::Key_Up:
        return !(key->modifiers() & Qt::AltModifier) && m_typeAhead->Move(-1);
    case Qt::Key_Escape:
        if (!m_typeAhead->IsShown()) return false;
        m_typeAhead->Hide();
        return true;
    default:
        // An Alt mnemonic that reached the field has no button to press (Cancel may be
        // hidden): it types nothing.
        return (key->modifiers() & Qt::AltModifier) && !(key->modifiers() & Qt::ControlModifier) &&
               !key->text().isEmpty();
    }
}
