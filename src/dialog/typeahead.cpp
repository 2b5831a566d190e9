#include "dialog/typeahead.h"

#include <QComboBox>
#include <QListView>

namespace {
constexpr int kVisibleRows = 8;
}

void CTypeAheadModel::SetEntries(const QStringList& entries) {
    beginResetModel();
    m_entries = entries;
    m_folded.clear();
    m_folded.reserve(size_t(entries.size()));
    for (const QString& e : entries) m_folded.push_back(e.toCaseFolded());
    m_matches.clear();
    m_needle.clear();
    m_filtered = false;
    endResetModel();
}

int CTypeAheadModel::Filter(const QString& text) {
    const QString needle = text.toCaseFolded();
    beginResetModel();
    // Typing on narrows the matches: only the entries that matched before can match now.
    std::vector<int> next;
    if (m_filtered && needle.startsWith(m_needle)) {
        for (int i : m_matches)
            if (m_folded[size_t(i)].contains(needle)) next.push_back(i);
    } else {
        for (size_t i = 0; i < m_folded.size(); ++i)
            if (m_folded[i].contains(needle)) next.push_back(int(i));
    }
    m_matches.swap(next);
    m_needle = needle;
    m_filtered = true;
    endResetModel();
    return int(m_matches.size());
}

int CTypeAheadModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_matches.size());
}

QVariant CTypeAheadModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= int(m_matches.size())) return {};
    if (role == Qt::DisplayRole) return m_entries[m_matches[size_t(index.row())]];
    return {};
}

CTypeAhead::CTypeAhead(QWidget* window)
    : QObject(window), m_window(window), m_popup(new QListView(window)) {
    m_popup->setObjectName(QStringLiteral("lstTypeAhead"));
    m_popup->setModel(&m_model);
    m_popup->setFocusPolicy(Qt::NoFocus);
    m_popup->setUniformItemSizes(true);
    m_popup->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_popup->setSelectionMode(QAbstractItemView::SingleSelection);
    m_popup->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_popup->hide();
    connect(m_popup, &QListView::clicked, this, [this](const QModelIndex& index) {
        m_popup->setCurrentIndex(index);
        Take();
    });
}

bool CTypeAhead::IsShown() const {
    return m_popup->isVisible();
}

void CTypeAhead::Hide() {
    m_popup->hide();
}

void CTypeAhead::Reset() {
    Hide();
    m_field = nullptr;
    m_loaded = false;
}

void CTypeAhead::Update(QComboBox* field, const QString& text) {
    if (field != m_field || !m_loaded) {
        QStringList entries;
        entries.reserve(field->count());
        for (int i = 0; i < field->count(); ++i) entries << field->itemText(i);
        m_model.SetEntries(entries);
        m_field = field;
        m_loaded = true;
    }
    if (text.isEmpty() || m_model.Filter(text) == 0) {
        Hide();
        return;
    }
    m_popup->setCurrentIndex(m_model.index(0));
    Place();
    m_popup->show();
    m_popup->raise();
}

void CTypeAhead::Place() {
    const int rows = std::min(m_model.rowCount(), kVisibleRows);
    const int rowHeight = std::max(m_popup->sizeHintForRow(0), 1);
    const int height = rows * rowHeight + 2 * m_popup->frameWidth();
    const QPoint top = m_field->mapTo(m_window, QPoint(0, 0));
    int y = top.y() + m_field->height();
    // Under the field when it fits in the window, else above it.
    if (y + height > m_window->height() && top.y() - height >= 0) y = top.y() - height;
    m_popup->setGeometry(top.x(), y, m_field->width(), height);
}

bool CTypeAhead::Move(int step) {
    if (!IsShown()) return false;
    const int last = m_model.rowCount() - 1;
    const int row = std::clamp(m_popup->currentIndex().row() + step, 0, last);
    m_popup->setCurrentIndex(m_model.index(row));
    return true;
}

bool CTypeAhead::Take() {
    if (!IsShown() || !m_field) return false;
    const QModelIndex current = m_popup->currentIndex();
    Hide();
    if (!current.isValid()) return false;
    const int index = m_model.Source(current.row());
    m_field->setCurrentIndex(index);
    m_field->setEditText(m_field->itemText(index));
    Q_EMIT Taken(m_field);
    return true;
}
